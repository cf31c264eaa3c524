# Writes a C++ source that holds a file's bytes as a constant array, with no
# terminating NUL added: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P EmbedFile.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "extern const unsigned char ${SYMBOL}[];\n"
  "extern const unsigned int ${SYMBOL}Size;\n"
  "const unsigned char ${SYMBOL}[${size}] = {\n${bytes}\n};\n"
  "const unsigned int ${SYMBOL}Size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
