# Builds a MEX file with Octave's own `mkoctfile --mex`, without a shell in
# between: cmake -DMKOCTFILE=... -DOUTPUT=... -DARGS=a|b|... -P mkoctfile_mex.cmake
#
# mkoctfile hands its link line to a shell, so "\$ORIGIN" in ARGS reaches the
# linker as $ORIGIN.
string(REPLACE "|" ";" ARGS "${ARGS}")
execute_process(COMMAND ${MKOCTFILE} --mex -o ${OUTPUT} ${ARGS}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "mkoctfile --mex failed (${result}) for ${OUTPUT}")
endif()
