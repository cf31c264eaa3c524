# Cross-compiles the Windows programs with Debian's mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SHOW_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SHOW_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SHOW_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${SHOW_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SHOW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Single-precision float arithmetic as the show's layout and fades expect,
# not x87's wider intermediates; every Windows 10 machine has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
