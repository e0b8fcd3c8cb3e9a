# The yardstick for loading the hook: a DLL that does nothing, built as the
# hook of this build is (the same runtime, flags and, in a Visual Studio
# build, the same entry point and load configuration) and importing the same
# functions as it (minimal-imports.sh refers to each through its import
# symbol, as the mingw-w64 import libraries name it, which the import
# libraries of a Visual Studio build name alike).
set(VLX_YARDSTICK_IMPORTS ${CMAKE_CURRENT_BINARY_DIR}/minimal_imports.cpp)
add_custom_command(
  OUTPUT ${VLX_YARDSTICK_IMPORTS}
  COMMAND bash ${PROJECT_SOURCE_DIR}/bench/minimal-imports.sh $<TARGET_FILE:VLXCustomHook> i686-w64-mingw32-objdump
          i686-w64-mingw32-g++-posix ${VLX_YARDSTICK_IMPORTS}
  DEPENDS VLXCustomHook ${PROJECT_SOURCE_DIR}/bench/minimal-imports.sh
  VERBATIM)
add_library(vlx_minimal SHARED EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/bench/minimal_dll.cpp
            ${PROJECT_SOURCE_DIR}/runtime/stack_guard.cpp ${VLX_YARDSTICK_IMPORTS})
set_target_properties(vlx_minimal PROPERTIES PREFIX "")
target_include_directories(vlx_minimal PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(vlx_minimal PRIVATE vlx_strict vlx_no_runtime ${VLX_SYSTEM_DLLS})
if(MSVC)
  vlx_msvc_dll(vlx_minimal)
endif()
