# Compiles through ccache when it is installed (KORVAN_CCACHE=OFF turns it off). The cache lives
# outside the clone (ccache's own default, ~/.cache/ccache), so every build folder and every
# fresh clone on this machine reuses what another compiled. Paths below the source folder are
# hashed relative to the build folder and the build folder's own path is left out, so two clones
# in different places share objects; their debug information then names the folder the object
# was first compiled in. The window's precompiled header is cached too (ccache needs the
# sloppiness for it: the header is included by -include, and its macros are the compiler's).
option(KORVAN_CCACHE "Compile through ccache when it is installed" ON)
if(KORVAN_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(KORVAN_CCACHE_PROGRAM ccache)
  if(KORVAN_CCACHE_PROGRAM)
    set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1
        CCACHE_SLOPPINESS=pch_defines,time_macros ${KORVAN_CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
  endif()
endif()
