# Windows programs of the build run under wine: headless, quiet, in a wine
# prefix of their own under the build tree, made afresh once per test run by
# the fixture "wine" (a first start of wine takes long; later ones are quick
# while its server stays up, which the fixture keeps until the run ends).
find_program(QUARLIN_WINESERVER NAMES wineserver REQUIRED
             HINTS /usr/lib/wine)
set(QUARLIN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(QUARLIN_WINE_ENVIRONMENT
  WINEPREFIX=${QUARLIN_WINE_PREFIX}
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=
  DISPLAY=)

# The server stays up at most a minute past its last client, should the run
# end without the cleanup.
add_test(NAME wine_prefix
  COMMAND sh -c "rm -rf '${QUARLIN_WINE_PREFIX}' && mkdir '${QUARLIN_WINE_PREFIX}' && '${QUARLIN_WINESERVER}' -p60 && '${CMAKE_CROSSCOMPILING_EMULATOR}' wineboot --init")
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${QUARLIN_WINE_ENVIRONMENT}")
# Stopping a server that has already gone is no failure.
add_test(NAME wine_server_stop COMMAND sh -c "'${QUARLIN_WINESERVER}' -k || true")
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${QUARLIN_WINE_ENVIRONMENT}")

# quarlin_add_wine_test(NAME <name> COMMAND <program> <args>... [ENVIRONMENT <var=value>...])
# A test whose program runs under wine: a target of the build (which CMake
# starts through the emulator) or a Linux program that starts Windows ones.
function(quarlin_add_wine_test)
  cmake_parse_arguments(W "" "NAME" "COMMAND;ENVIRONMENT" ${ARGN})
  add_test(NAME ${W_NAME} COMMAND ${W_COMMAND})
  set_tests_properties(${W_NAME} PROPERTIES FIXTURES_REQUIRED wine
                       ENVIRONMENT "${QUARLIN_WINE_ENVIRONMENT};${W_ENVIRONMENT}")
endfunction()
