# The toolchain's runtime DLLs that every Windows program and library of the
# build imports: copied beside them in the build tree, so that the tests run
# with nothing on their path, and installed with them.
set(QUARLIN_RUNTIME_DLL_NAMES libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
set(QUARLIN_RUNTIME_DLLS "")
foreach(name ${QUARLIN_RUNTIME_DLL_NAMES})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    message(FATAL_ERROR "The toolchain has no ${name}")
  endif()
  get_filename_component(found "${found}" REALPATH)
  list(APPEND QUARLIN_RUNTIME_DLLS ${found})
endforeach()
file(COPY ${QUARLIN_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
install(FILES ${QUARLIN_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
