# A DLL as a Visual Studio build (cl, or clang-cl with lld-link) makes ours:
# no C runtime library and no C runtime DLL of Visual Studio. It has its own
# entry point, /GS cookie and stack probe (runtime/msvc_entry.cpp,
# runtime/stack_guard.cpp) and takes the few C functions it uses from the
# system's msvcrt.dll, as the mingw-w64 build does, through an import library
# made from their list (runtime/msvcrt.def). Its manifest, if any, comes from its
# resource script.
set(_imports ${CMAKE_BINARY_DIR}/import-libs)
set(_crt ${_imports}/vlx_msvcrt.lib)
set(_crt_def ${PROJECT_SOURCE_DIR}/runtime/msvcrt.def)
if(VLX_DLLTOOL)
  set(_make_crt ${VLX_DLLTOOL} -m i386 -d ${_crt_def} -l ${_crt})
else()
  set(_make_crt ${CMAKE_AR} /nologo /machine:x86 /def:${_crt_def} /out:${_crt})
endif()
set(_outputs ${_crt})
set(_commands COMMAND ${CMAKE_COMMAND} -E make_directory ${_imports} COMMAND ${_make_crt})
# Without Visual Studio's SDK: the system DLLs' import libraries too, made
# from mingw-w64's.
if(VLX_MINGW_LIB_DIR)
  set(_system_dlls kernel32 ${VLX_SYSTEM_DLLS})
  foreach(dll IN LISTS _system_dlls)
    list(APPEND _outputs ${_imports}/${dll}.lib)
  endforeach()
  list(APPEND _commands COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/msvc-import-libs.sh ${_imports}
                        ${VLX_MINGW_LIB_DIR} ${VLX_LLVM_NM} ${VLX_DLLTOOL} ${_system_dlls})
endif()
add_custom_command(OUTPUT ${_outputs} ${_commands}
  DEPENDS ${_crt_def} ${PROJECT_SOURCE_DIR}/scripts/msvc-import-libs.sh
  COMMENT "Making the import libraries of the system DLLs"
  VERBATIM)
add_custom_target(vlx_import_libs DEPENDS ${_outputs})

# vlx_msvc_dll(target): makes target such a DLL.
function(vlx_msvc_dll target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/runtime/msvc_entry.cpp ${PROJECT_SOURCE_DIR}/runtime/msvc_load_config.cpp)
  add_dependencies(${target} vlx_import_libs)
  target_link_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/import-libs)
  target_link_libraries(${target} PRIVATE ${CMAKE_BINARY_DIR}/import-libs/vlx_msvcrt.lib)
  target_link_options(${target} PRIVATE /NODEFAULTLIB /SAFESEH /DYNAMICBASE /NXCOMPAT /GUARD:CF /MANIFEST:NO)
endfunction()
