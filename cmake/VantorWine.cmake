# Runs cross-built Windows test programs under Wine.
#
# Every program runs in a Wine prefix of its own inside the build tree, so
# the tests never touch a user's Wine set-up. Two CTest fixtures frame the
# suite: "wine" creates the prefix and starts its Wine server before the
# first test, and stops the server when the last one is done, so that no
# process outlives the suite.
find_program(VANTOR_WINE wine REQUIRED)
find_program(VANTOR_WINEBOOT wineboot REQUIRED)
find_program(VANTOR_WINESERVER wineserver REQUIRED)

set(VANTOR_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
# A 32-bit prefix: the DLL is 32-bit, and so the registry paths it uses are
# the plain ones (no 32-bit view under Wow6432Node). The locale is fixed so
# that the ANSI code page, and with it text conversion, is the same on
# every machine. The runtime installers of a new prefix are switched off:
# they would try to download.
set(VANTOR_WINE_ENV
  WINEPREFIX=${VANTOR_WINEPREFIX}
  WINEARCH=win32
  WINEDEBUG=-all
  WINEDLLOVERRIDES=mscoree,mshtml=
  LC_ALL=C)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${VANTOR_WINE_ENV} ${VANTOR_WINE})

# The Wine server is started persistent (with a time-out, should the suite
# be cut short), so that the tests share one server instead of each
# starting its own.
add_test(NAME wine.start
  COMMAND ${CMAKE_COMMAND} -E env ${VANTOR_WINE_ENV}
          sh ${PROJECT_SOURCE_DIR}/tests/wine/prefix.sh start
          ${VANTOR_WINEBOOT} ${VANTOR_WINESERVER})
add_test(NAME wine.stop
  COMMAND ${CMAKE_COMMAND} -E env ${VANTOR_WINE_ENV}
          sh ${PROJECT_SOURCE_DIR}/tests/wine/prefix.sh stop
          ${VANTOR_WINEBOOT} ${VANTOR_WINESERVER})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# Marks tests as run under Wine. Each takes a second or so; a hung one is
# stopped long before CI's limit.
function(vantor_wine_tests)
  set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
endfunction()
