# The other builds of the hook that every test run checks, made by this
# build with toolchains of their own, as large projects build a second
# target: each an external project, built whenever this build is (its own
# make decides what is out of date), so that no test meets a stale or a
# missing DLL.
#  - msvc-abi: the DLL as Visual Studio's clang-cl toolset builds it (the one
#    that ships), its stack protector's test module and the benchmark's
#    yardstick DLL (cmake/toolchain-i686-pc-windows-msvc-clang-cl.cmake).
#    Every suite that loads the DLL runs against it too.
#  - clang-gate: the library and the host built with clang and lld, warnings
#    as errors (cmake/toolchain-i686-w64-mingw32-clang.cmake).
# A missing toolchain stops the configuration and names its packages, unless
# its option (CMakeLists.txt) turns that build off.
include(ExternalProject)

# Stops the configuration when one of the tools is missing.
function(vlx_require_tools what option packages)
  foreach(tool IN LISTS ARGN)
    string(MAKE_C_IDENTIFIER "VLX_TOOL_${tool}" variable)
    find_program(${variable} ${tool})
    if(NOT ${variable})
      message(FATAL_ERROR "${what} needs ${tool}, from the Debian packages ${packages} "
                          "(bash scripts/install-deps.sh installs them), or configure with -D${option}=OFF.")
    endif()
  endforeach()
endfunction()

# vlx_other_build(name toolchain targets...): the external project name in
# ${CMAKE_BINARY_DIR}/name, building the targets given; its outputs are in
# name/bin.
function(vlx_other_build name toolchain)
  ExternalProject_Add(${name}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${name}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain} -DCMAKE_BUILD_TYPE=Release
               -DVLX_BUILD_TESTS=OFF -DVLX_MSVC_ABI=OFF -DVLX_CLANG_GATE=OFF
    # The sub-make shares this build's jobs.
    BUILD_COMMAND $(MAKE) ${ARGN}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/${name}/bin/VLXCustomHook.dll)
endfunction()

if(VLX_MSVC_ABI)
  vlx_require_tools("The MSVC-ABI build" VLX_MSVC_ABI "clang-tools-14, lld-14 and llvm-14" clang-cl-14
                    lld-link-14 llvm-rc-14 llvm-lib-14 llvm-nm-14 llvm-dlltool-14 llvm-objdump-14)
  vlx_other_build(msvc-abi toolchain-i686-pc-windows-msvc-clang-cl.cmake VLXCustomHook vlx_stack_smash_module
                  vlx_minimal)
  set(VLX_MSVC_ABI_BIN ${CMAKE_BINARY_DIR}/msvc-abi/bin)
endif()
if(VLX_CLANG_GATE)
  vlx_require_tools("The clang gate" VLX_CLANG_GATE "clang and lld" clang clang++ ld.lld)
  vlx_other_build(clang-gate toolchain-i686-w64-mingw32-clang.cmake VLXCustomHook hookhost)
  set(VLX_CLANG_GATE_BIN ${CMAKE_BINARY_DIR}/clang-gate/bin)
endif()
