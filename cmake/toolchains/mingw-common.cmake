# Shared settings of the two mingw-w64 cross toolchains; the including file sets TEV_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TEV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TEV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TEV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TEV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the shipped programs must not need mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
