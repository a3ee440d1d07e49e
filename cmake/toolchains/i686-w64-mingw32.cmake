# Cross-builds for 32-bit Windows with MinGW-w64 (i686): the game's own
# platform.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANTOR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
