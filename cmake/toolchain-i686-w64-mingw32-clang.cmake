# Cross build for 32-bit Windows with clang and lld over Debian's mingw-w64
# headers and libraries: the second compiler of the gate (library and host).
# clang does not find Debian's "12-posix" GCC folder by itself, so its C++
# headers and start-up objects are named here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER   clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_C_COMPILER_TARGET   i686-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-mingw32)
set(VLX_OBJDUMP        i686-w64-mingw32-objdump)

set(_gcc /usr/lib/gcc/i686-w64-mingw32/12-posix)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${_gcc}/include/c++ -isystem ${_gcc}/include/c++/i686-w64-mingw32 -isystem ${_gcc}/include/c++/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-fuse-ld=lld -static -B${_gcc} -L${_gcc} -lpthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -static -B${_gcc} -L${_gcc} -lpthread")

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# lld writes the export table with ordinal base 0 (scripts/export-ordinal-base.py).
set(VLX_EXPORT_ORDINAL_BASE_FIX ON)
