# Settings shared by the MinGW-w64 toolchain files; they set
# KTU_MINGW_TRIPLE and then include this file.
set(CMAKE_C_COMPILER ${KTU_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KTU_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KTU_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KTU_MINGW_TRIPLE}-dlltool)
set(CMAKE_OBJDUMP ${KTU_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KTU_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static also takes winpthread from its archive; the system DLLs are still
# reached through their import libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
