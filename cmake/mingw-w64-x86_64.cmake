# Cross-building the Windows programs on Linux with mingw-w64 (Debian's posix-thread flavour).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVREL_MINGW_PREFIX}-windres)
set(CMAKE_AR ${TAVREL_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${TAVREL_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "Ranlib")

set(CMAKE_FIND_ROOT_PATH /usr/${TAVREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs need no DLL beyond those of Windows itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
