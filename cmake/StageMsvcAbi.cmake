# Copies the programs and modules of FROM (the mingw-w64 build's) to TO,
# then the MSVC-ABI DLL and stack protector's test module of DLLS over them;
# a file whose bytes are the same already is left alone.
#     cmake -DFROM=dir -DDLLS=dir -DTO=dir -P StageMsvcAbi.cmake
file(GLOB built "${FROM}/*.exe" "${FROM}/*.dll")
list(FILTER built EXCLUDE REGEX "/(VLXCustomHook|vlx_stack_smash)\\.dll$")
file(MAKE_DIRECTORY "${TO}")
foreach(file IN LISTS built ITEMS "${DLLS}/VLXCustomHook.dll" "${DLLS}/vlx_stack_smash.dll")
  get_filename_component(name "${file}" NAME)
  execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${file}" "${TO}/${name}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot stage ${file}")
  endif()
endforeach()
