# The module's own code: model, data map, block methods, gateway, record
# writer.  It depends on nothing but the standard library and reaches the host
# only through host/.
#
# One object library feeds both the static library that the unit tests link
# and the loadable module that the host engine opens.

file(GLOB QUARLIN_MODULE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/model/*.cpp
  ${PROJECT_SOURCE_DIR}/mdlref/*.cpp
  ${PROJECT_SOURCE_DIR}/block/*.cpp
  ${PROJECT_SOURCE_DIR}/gateway/*.cpp
  ${PROJECT_SOURCE_DIR}/rtwwriter/*.cpp)

# binary32 arithmetic, one rounding per operation in the written order:
# no contraction into fused multiply-adds, no fast-math, no excess precision,
# whatever the global flags say.  g++ 12 has no -fexcess-precision for C++;
# there, on x86-64, float arithmetic already has none (FLT_EVAL_METHOD 0).
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-fexcess-precision=standard QUARLIN_HAS_EXCESS_PRECISION_FLAG)
set(QUARLIN_FP_FLAGS -ffp-contract=off -fno-fast-math)
if(QUARLIN_HAS_EXCESS_PRECISION_FLAG)
  list(APPEND QUARLIN_FP_FLAGS -fexcess-precision=standard)
endif()

# A host's "error" may end a call by unwinding through the module's frames
# (GNU Octave throws; so does the substitute host): every object carries
# unwind tables, whatever the global flags say.
set(QUARLIN_UNWIND_FLAGS -fexceptions -funwind-tables -fasynchronous-unwind-tables)

add_library(quarlin_module_objects OBJECT ${QUARLIN_MODULE_SOURCES})
target_compile_options(quarlin_module_objects PRIVATE ${QUARLIN_FP_FLAGS} ${QUARLIN_UNWIND_FLAGS})
if(NOT WIN32)
  target_compile_options(quarlin_module_objects PRIVATE -fvisibility=hidden)
endif()

# The host libraries the module imports from, as a MEX extension does.
set(QUARLIN_HOST_LIBRARIES
  subhost::mx subhost::mex subhost::mwsl_simtarget_core
  subhost::mwsl_simtarget_instrumentation subhost::mwmathutil subhost::fixedpoint)

add_library(quarlin_module STATIC $<TARGET_OBJECTS:quarlin_module_objects>)
target_link_libraries(quarlin_module PUBLIC ${QUARLIN_HOST_LIBRARIES})

# The loadable module exports mexFunction and mexfilerequiredapiversion only:
# through a version script on Linux; on Windows the two are the only
# functions declared for export, and the module imports each host function
# by name from the host library's DLL.
add_library(Quarlin_msp MODULE $<TARGET_OBJECTS:quarlin_module_objects>)
target_link_libraries(Quarlin_msp PRIVATE ${QUARLIN_HOST_LIBRARIES})
if(WIN32)
  set_target_properties(Quarlin_msp PROPERTIES PREFIX "" SUFFIX ".mexw64"
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  install(TARGETS Quarlin_msp LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  set(QUARLIN_EXPORT_MAP ${PROJECT_SOURCE_DIR}/gateway/Quarlin_msp.map)
  set_target_properties(Quarlin_msp PROPERTIES PREFIX "" SUFFIX ".mexa64" LINK_DEPENDS ${QUARLIN_EXPORT_MAP})
  target_link_options(Quarlin_msp PRIVATE -Wl,--version-script=${QUARLIN_EXPORT_MAP})
  # clang puts the sanitizer runtimes into programs only: a sanitized module
  # finds them in the program that loads it, so its undefined symbols are
  # checked everywhere else.
  if(NOT (CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND CMAKE_CXX_FLAGS MATCHES "-fsanitize="))
    target_link_options(Quarlin_msp PRIVATE -Wl,--no-undefined)
  endif()
  install(TARGETS Quarlin_msp LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
