# Cross-builds for 64-bit Windows with MinGW-w64 (x86_64), for 64-bit hosts
# and tools.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VANTOR_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
