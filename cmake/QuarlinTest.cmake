# quarlin_add_test(NAME <name> [PREFIX <prefix of its test names>] SOURCES ... LIBS ...)
function(quarlin_add_test)
  cmake_parse_arguments(T "" "NAME;PREFIX" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # Tests build their fixtures with the same arithmetic rules as the model.
  target_compile_options(${T_NAME} PRIVATE ${QUARLIN_FP_FLAGS})
  # Where the module lies in the build tree, from its top.
  if(WIN32)
    target_compile_definitions(${T_NAME} PRIVATE QUARLIN_MODULE_IN_BUILD="/bin/Quarlin_msp.mexw64")
  else()
    target_compile_definitions(${T_NAME} PRIVATE QUARLIN_MODULE_IN_BUILD="/lib/Quarlin_msp.mexa64")
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under wine each start of a program costs time: one test per program.
    quarlin_add_wine_test(NAME ${T_NAME} COMMAND ${T_NAME}
                          ENVIRONMENT "QUARLIN_BUILD_DIR=${CMAKE_BINARY_DIR}")
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${T_PREFIX}"
      PROPERTIES ENVIRONMENT "QUARLIN_BUILD_DIR=${CMAKE_BINARY_DIR}")
  endif()
endfunction()
