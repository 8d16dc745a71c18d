# Cross-build for 64-bit Windows with Debian's mingw-w64 (the posix-threads variant: the code
# uses std::thread, std::mutex and std::condition_variable), linked statically so the programs import only Windows'
# own DLLs. Tests and gtest discovery run the .exe files under wine (scripts/wine-run) with a
# wine prefix of the build folder's own.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DKORVAN_WINDOWS_DEPS=<prefix of scripts/windows-deps>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# The prefix our dependency script fills (googletest, the header-only libraries, and what is
# built from Debian's source packages). Passed on to try_compile projects, which read this
# file again with a cache of their own.
set(KORVAN_WINDOWS_DEPS "" CACHE PATH "Prefix of the Windows dependencies (scripts/windows-deps)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVAN_WINDOWS_DEPS)

# Only the mingw sysroot and our prefix: /usr/include must never be searched, or the Linux C
# headers leak into the Windows build.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(KORVAN_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH "${KORVAN_WINDOWS_DEPS}")
  set(ENV{PKG_CONFIG_LIBDIR} "${KORVAN_WINDOWS_DEPS}/lib/pkgconfig")
endif()
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# FindZLIB would otherwise take the DLL's import library.
set(ZLIB_USE_STATIC_LIBS ON)

# Every build folder gets its own wine prefix: without one wine fills ~/.wine (700 MB).
set(KORVAN_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "Wine prefix of the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run;${KORVAN_WINE_PREFIX}")
# Tests are listed when CTest runs, not during the build: the build then needs no wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
