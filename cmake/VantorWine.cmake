# Runs cross-built Windows test programs under Wine.
#
# Every program runs in a Wine prefix of its own inside the build tree, so
# the tests never touch a user's Wine set-up (tests/wine/wine.sh sets the
# prefix up). Two CTest fixtures frame the suite: "wine" creates the prefix
# and starts its Wine server before the first test, and stops the server
# when the last one is done, so that no process outlives the suite.
foreach(tool wine wineboot wineserver)
  find_program(VANTOR_${tool} ${tool} REQUIRED)
endforeach()

set(VANTOR_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(VANTOR_WINE_SCRIPT ${PROJECT_SOURCE_DIR}/tests/wine/wine.sh)

set(CMAKE_CROSSCOMPILING_EMULATOR sh ${VANTOR_WINE_SCRIPT} ${VANTOR_WINEPREFIX} run)

# The Wine server is started persistent (with a time-out, should the suite
# be cut short), so that the tests share one server instead of each
# starting its own.
add_test(NAME wine.start COMMAND sh ${VANTOR_WINE_SCRIPT} ${VANTOR_WINEPREFIX} start)
add_test(NAME wine.stop COMMAND sh ${VANTOR_WINE_SCRIPT} ${VANTOR_WINEPREFIX} stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# Marks tests as run under Wine. Each takes a second or so; a hung one is
# stopped long before CI's limit.
function(vantor_wine_tests)
  set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
endfunction()
