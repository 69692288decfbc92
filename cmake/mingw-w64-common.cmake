# Shared part of the mingw-w64 toolchain files; VELMORA_MINGW_TRIPLE is set by the caller.
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Link zlib statically: no DLL travels with the programs.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/${VELMORA_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "")
set(ZLIB_INCLUDE_DIR /usr/${VELMORA_MINGW_TRIPLE}/include CACHE PATH "")
# Tests run under Wine; the wrapper picks the prefix in the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
