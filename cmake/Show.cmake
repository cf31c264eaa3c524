# Helpers shared by every CMakeLists of the tree.

# Our own code builds with warnings as errors; third-party headers come in
# through SYSTEM include paths so their warnings stay theirs.
function(show_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Embeds a file as `const unsigned char SYMBOL[]` plus `SYMBOL##Size` into
# the given variable's list of generated sources.
function(show_embed out_var input symbol)
  set(output ${CMAKE_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${input} ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${symbol}")
  set(${out_var} ${${out_var}} ${output} PARENT_SCOPE)
endfunction()

# stb from Debian's libstb-dev, header-only on both platforms.
set(SHOW_STB_INCLUDE_DIR /usr/include/stb)
if(NOT EXISTS ${SHOW_STB_INCLUDE_DIR}/stb_truetype.h)
  message(FATAL_ERROR "stb headers not found in ${SHOW_STB_INCLUDE_DIR}: install libstb-dev")
endif()
