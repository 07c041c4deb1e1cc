# Cross-compiling for Windows with MinGW-w64 (i686, posix thread model).
# The runtime (libgcc, libstdc++, winpthread) is linked in statically so the
# DLL and the programs need no MinGW DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KTU_MINGW_TRIPLE i686-w64-mingw32)
# Doubles in SSE2 registers, as the Windows compilers' x86 default
# (/arch:SSE2) has them: GCC's i686 default, the x87 unit, keeps results in
# 80 bits, so that a size computed as trunc(width / scale) can come out one
# larger than the caller's same computation, and a raster written one row or
# column beyond the caller's buffer (seen in the 32-bit Linux run).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

# 32-bit programs cannot run on the build machine (no IA-32 user mode), so no
# emulator is set: the 32-bit build is checked without running its programs
# (export table, import library, a linking client). On Windows, configure
# natively to run the suites.
