# Shared by the MinGW-w64 toolchain files, which set VANTOR_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first.
#
# The -posix compilers are used: their C++ runtime has std::thread and
# std::mutex, which GoogleTest needs. The project links that runtime
# statically, so no MinGW DLL has to travel with the binaries.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VANTOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTOR_MINGW_TRIPLE}-windres)

# Headers and libraries come from the target's root only; build tools
# (such as objdump or wine) are searched on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
