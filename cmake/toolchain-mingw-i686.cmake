# The 32-bit Windows programs, the deliverables.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SHOW_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
# Single-precision float arithmetic as the show's layout and fades expect,
# not x87's wider intermediates; every Windows 10 machine has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
