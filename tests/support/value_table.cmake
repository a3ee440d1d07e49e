# The defaults of the value table (src/settings/values.def) for test
# scripts, so that a changed default changes them in one place.
#
#   vantor_value_defaults(SOURCE_DIR)
#
# sets DEFAULT_<field> for each of the 24 values, by record field name
# (DEFAULT_UserName, DEFAULT_Fire): the text or the number, decimal. A
# default the table takes from the public header (VANTOR_DEFAULT_*) is
# looked up there.
function(vantor_value_defaults source_dir)
  file(STRINGS "${source_dir}/src/settings/values.def" rows REGEX "^VANTOR_")
  file(STRINGS "${source_dir}/include/vantor.h" header REGEX "^#define VANTOR_DEFAULT_")
  set(count 0)
  foreach(row IN LISTS rows)
    if(row MATCHES "^VANTOR_GAME_TEXT\\(\"[^\"]*\", *([A-Za-z]+), *[A-Z_]+, *\"([^\"]*)\"")
      set(field ${CMAKE_MATCH_1})
      set(value "${CMAKE_MATCH_2}")
    elseif(row MATCHES "^VANTOR_GAME_NUMBER\\(\"[^\"]*\", *([A-Za-z]+), *[A-Z_]+, *([A-Z_0-9]+),")
      set(field ${CMAKE_MATCH_1})
      set(value ${CMAKE_MATCH_2})
    elseif(row MATCHES "^VANTOR_KEY_CODE\\(([A-Za-z]+), *[A-Z_]+, *([0-9]+),")
      set(field ${CMAKE_MATCH_1})
      set(value ${CMAKE_MATCH_2})
    else()
      message(FATAL_ERROR "values.def: a row this script cannot read:\n${row}")
    endif()
    if(value MATCHES "^VANTOR_DEFAULT_")
      set(define ${header})
      list(FILTER define INCLUDE REGEX "^#define ${value} ")
      string(REGEX REPLACE "^#define ${value} +([0-9]+)u?.*$" "\\1" value "${define}")
    endif()
    set(DEFAULT_${field} "${value}" PARENT_SCOPE)
    math(EXPR count "${count} + 1")
  endforeach()
  if(NOT count EQUAL 24)
    message(FATAL_ERROR "values.def: read ${count} values, not 24")
  endif()
endfunction()
