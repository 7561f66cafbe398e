# Shared part of the two mingw-w64 toolchain files; VELLORAN_TRIPLE is set by the includer.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model is the one whose libstdc++ has std::thread and std::mutex.
set(CMAKE_C_COMPILER   ${VELLORAN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLORAN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VELLORAN_TRIPLE}-windres)
# VELLORAN_DEPS_PREFIX is the cache folder of the cross-built libraries.
set(CMAKE_FIND_ROOT_PATH /usr/${VELLORAN_TRIPLE} ${VELLORAN_DEPS_PREFIX})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELLORAN_DEPS_PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives only, or zlib1.dll and friends creep into the deliverables.
set(ZLIB_USE_STATIC_LIBS ON)
set(OPENSSL_USE_STATIC_LIBS ON)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
