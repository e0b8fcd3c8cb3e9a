# Cross build of the hook as an MSVC-ABI DLL, as Visual Studio's clang-cl
# toolset builds it: Debian's clang-cl, lld-link and llvm-rc over the
# mingw-w64 headers, with MSVC-style import libraries of the system DLLs made
# from mingw-w64's (scripts/msvc-import-libs.sh). The library only: the host
# and the tests stay with the mingw-w64 build, and load this DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER   clang-cl-14)
set(CMAKE_CXX_COMPILER clang-cl-14)
set(CMAKE_LINKER       lld-link-14)
set(CMAKE_RC_COMPILER  llvm-rc-14)
set(CMAKE_AR           llvm-lib-14)
set(CMAKE_C_COMPILER_TARGET   i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(VLX_OBJDUMP        llvm-objdump-14)

# The mingw-w64 headers were written for GCC: with its version macro they take
# their GCC paths (attributes, intrinsics); _X86_ is what GCC predefines for
# them; the Windows 7 shell helpers in them need __uuidof on types that carry
# no GUID there, so the headers are read as for Vista (the API the hook calls
# is Vista's).
set(_mingw_include /usr/share/mingw-w64/include)
set(_flags "-fms-compatibility-version=19.29 -fgnuc-version=4.2.1 /arch:SSE2 -imsvc ${_mingw_include} /D_X86_=1 /DNTDDI_VERSION=0x06000000")
set(CMAKE_C_FLAGS_INIT   "${_flags}")
set(CMAKE_CXX_FLAGS_INIT "${_flags}")
set(CMAKE_RC_FLAGS_INIT  "/I ${_mingw_include} /D_X86_=1")

# No import library of the system's exists before the build makes them:
# the compiler checks build static libraries only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(VLX_MINGW_LIB_DIR /usr/i686-w64-mingw32/lib)
set(VLX_LLVM_NM        llvm-nm-14)
set(VLX_DLLTOOL        llvm-dlltool-14)
# lld writes the export table with ordinal base 0 (scripts/export-ordinal-base.py).
set(VLX_EXPORT_ORDINAL_BASE_FIX ON)
