# The 64-bit Windows programs, which a 64-bit-only Wine can run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SHOW_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
