# 32-bit Linux (i386) with the host's GCC and -m32 (Debian g++-multilib).
# Pointers, long and size_t are 32 bits wide there, as on 32-bit Windows, so
# the sizes the library computes wrap where they would on that target. The
# kernel here runs no 32-bit programs itself: qemu-i386-static (Debian
# qemu-user-static) runs the test programs, and ctest calls it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Doubles computed in SSE2 registers, as the 32-bit Windows compilers do by
# default: GCC's i386 default, the x87 unit, keeps intermediate results in 80
# bits, so that a size such as trunc(width / scale) can differ by one from
# the same expression elsewhere (or on the target).
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

find_program(KTU_QEMU_I386 qemu-i386-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KTU_QEMU_I386})

# Libraries and headers: only 32-bit ones count (the host's 64-bit SQLite, for
# one, must not be found).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
