# Runs cross-built Windows test programs under Wine.
#
# Every program runs in a Wine prefix of its own inside the build tree, so
# the tests never touch a user's Wine set-up (tests/wine/wine.sh sets the
# prefix up). Two CTest fixtures frame the suite: "wine" creates the prefix
# and starts its Wine server before the first test, and stops the server
# when the last one is done, so that no process outlives the suite.
#
# The loader is called by its own path: /usr/bin/wine is a script that takes
# the 32-bit loader whenever it is installed, even on a machine whose kernel
# cannot run it. A 32-bit build runs under the 32-bit loader in a win32
# prefix; a 64-bit build under wine64 in a win64 prefix.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VANTOR_WINEARCH win64)
  set(vantor_loader wine64)
else()
  set(VANTOR_WINEARCH win32)
  set(vantor_loader wine)
endif()
find_program(VANTOR_WINE_LOADER ${vantor_loader} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VANTOR_WINE_LOADER ${vantor_loader})
find_program(VANTOR_WINESERVER wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VANTOR_WINESERVER wineserver)
if(NOT VANTOR_WINE_LOADER OR NOT VANTOR_WINESERVER)
  message(WARNING "Wine (${vantor_loader}, wineserver) not found: the tests that run under "
                  "Wine will fail; scripts/install-deps --test installs it")
endif()

set(VANTOR_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(VANTOR_WINE_SCRIPT ${PROJECT_SOURCE_DIR}/tests/wine/wine.sh)
set(vantor_wine sh ${VANTOR_WINE_SCRIPT} ${VANTOR_WINEARCH} ${VANTOR_WINE_LOADER}
    ${VANTOR_WINESERVER} ${VANTOR_WINEPREFIX})

set(CMAKE_CROSSCOMPILING_EMULATOR ${vantor_wine} run)

# The Wine server is started persistent (with a time-out, should the suite
# be cut short), so that the tests share one server instead of each
# starting its own.
add_test(NAME wine.start COMMAND ${vantor_wine} start)
add_test(NAME wine.stop COMMAND ${vantor_wine} stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120 LABELS wine)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS wine)

# Marks tests as run under Wine (label "wine": `ctest -LE wine` runs the
# others, which read the binaries without running them). Each takes a second
# or so; a hung one is stopped long before CI's limit.
function(vantor_wine_tests)
  set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120 LABELS wine)
endfunction()
