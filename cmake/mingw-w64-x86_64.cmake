# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The -posix compiler names are the ones that package installs; the plain
# names are a fallback for other distributions.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VU32_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VU32_MINGW_PREFIX}-gcc-posix ${VU32_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${VU32_MINGW_PREFIX}-g++-posix ${VU32_MINGW_PREFIX}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${VU32_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VU32_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
