# Reads the PE headers of vantor.dll with objdump and checks them.
#
#   cmake -DOBJDUMP=... -DMODULE=.../vantor.dll -DCHECK=exports|imports|manifest
#         [-DFORMAT=pei-i386|pei-x86-64] -P check_pe.cmake
#
# exports:  a DLL of FORMAT (pei-i386, 32-bit x86, unless given) whose
#           export table calls itself "vantor.dll" and holds exactly the
#           eight functions, by name, ordinals 1 to 8.
# imports:  everything the module imports comes from Windows system DLLs,
#           so it runs with no other DLL beside it.
# manifest: the module carries no manifest resource and no
#           requestedExecutionLevel, which would turn off the registry
#           virtualization Windows gives a legacy 32-bit program run by a
#           standard user (its writes under HKLM\Software going to a
#           per-user store, as the game's own do).
# setup:    vantor-setup.exe: a manifest that asks for the common controls
#           6 (visual styles) and per-monitor DPI awareness, and still no
#           requestedExecutionLevel; imports from system DLLs and from
#           vantor.dll, of which only the eight functions.
cmake_policy(VERSION 3.25)

if(NOT DEFINED FORMAT)
  set(FORMAT pei-i386)
endif()
foreach(variable OBJDUMP MODULE CHECK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_pe.cmake: ${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE}
  OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed: ${result}")
endif()
string(REPLACE "\r" "" headers "${headers}")
string(REPLACE "\n" ";" lines "${headers}")

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

if(CHECK STREQUAL "exports")
  if(NOT headers MATCHES "file format ([^\n]*)\n" OR NOT CMAKE_MATCH_1 STREQUAL FORMAT)
    fail("file format is '${CMAKE_MATCH_1}', not '${FORMAT}'")
  endif()
  if(NOT headers MATCHES "\nName[ \t]+[0-9a-fA-F]+ ([^\n]*)\n")
    fail("no export table")
  elseif(NOT CMAKE_MATCH_1 STREQUAL "vantor.dll")
    fail("export table names the module '${CMAKE_MATCH_1}', not 'vantor.dll'")
  endif()
  if(NOT headers MATCHES "\nOrdinal Base[ \t]+([0-9]+)\n" OR NOT CMAKE_MATCH_1 EQUAL 1)
    fail("ordinal base is not 1")
  endif()

  # "[Ordinal/Name Pointer] Table" lists each name with its ordinal less
  # the base: "[   0] CreateRegKeys" is ordinal 1.
  set(exported "")
  set(in_table FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(in_table TRUE)
    elseif(in_table AND line MATCHES "^[ \t]*\\[ *([0-9]+)\\] (.+)$")
      math(EXPR ordinal "${CMAKE_MATCH_1} + 1")
      list(APPEND exported "${ordinal}:${CMAKE_MATCH_2}")
    elseif(in_table)
      break()
    endif()
  endforeach()
  set(expected
    1:CreateRegKeys 2:GetGameConfigSettings 3:GetKeyConfigSettings 4:SetAllDefaults
    5:SetDefaultGameSettings 6:SetDefaultKeySettings 7:SetGameConfigSettings
    8:SetKeyConfigSettings)
  list(SORT exported COMPARE NATURAL)
  if(NOT exported STREQUAL expected)
    fail("exports (ordinal:name) are\n    ${exported}\n  expected\n    ${expected}")
  endif()
  if(NOT headers MATCHES "Export Address Table[ \t]+0*8\n")
    fail("the export address table does not hold exactly 8 entries")
  endif()
elseif(CHECK STREQUAL "imports")
  set(system_dlls kernel32.dll advapi32.dll msvcrt.dll)
  set(imported "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*DLL Name: (.+)$")
      string(TOLOWER "${CMAKE_MATCH_1}" dll)
      list(APPEND imported ${dll})
      if(NOT dll IN_LIST system_dlls)
        fail("imports from ${CMAKE_MATCH_1}, which is not a system DLL")
      endif()
    endif()
  endforeach()
  if(NOT "kernel32.dll" IN_LIST imported OR NOT "advapi32.dll" IN_LIST imported)
    fail("imports are '${imported}': expected KERNEL32.dll and ADVAPI32.dll among them")
  endif()
elseif(CHECK STREQUAL "manifest")
  # The first level of the resource directory lists the resource types;
  # a manifest is type 24 (0x18).
  if(headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x0*18,")
    fail("carries a manifest resource")
  endif()
  file(STRINGS ${MODULE} level REGEX "requestedExecutionLevel")
  if(level)
    fail("asks for an execution level: ${level}")
  endif()
elseif(CHECK STREQUAL "setup")
  if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x0*18,")
    fail("carries no manifest resource")
  endif()
  file(STRINGS ${MODULE} manifest REGEX "Common-Controls|dpiAwareness|requestedExecutionLevel")
  if(NOT manifest MATCHES "Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"")
    fail("its manifest does not ask for the common controls 6")
  endif()
  if(NOT manifest MATCHES ">PerMonitorV2")
    fail("its manifest does not make it per-monitor DPI aware")
  endif()
  if(manifest MATCHES "requestedExecutionLevel")
    fail("asks for an execution level")
  endif()
  set(eight CreateRegKeys GetGameConfigSettings GetKeyConfigSettings SetAllDefaults
      SetDefaultGameSettings SetDefaultKeySettings SetGameConfigSettings SetKeyConfigSettings)
  set(system_dlls kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll msvcrt.dll)
  set(dll "")
  set(from_vantor "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*DLL Name: (.+)$")
      string(TOLOWER "${CMAKE_MATCH_1}" dll)
      if(NOT dll IN_LIST system_dlls AND NOT dll STREQUAL "vantor.dll")
        fail("imports from ${CMAKE_MATCH_1}, which is neither a system DLL nor vantor.dll")
      endif()
    elseif(dll STREQUAL "vantor.dll" AND line MATCHES "^[ \t]*[0-9a-f]+[ \t]+[0-9]+[ \t]+([A-Za-z]+)")
      list(APPEND from_vantor ${CMAKE_MATCH_1})
      if(NOT CMAKE_MATCH_1 IN_LIST eight)
        fail("imports ${CMAKE_MATCH_1} from vantor.dll, which is not one of its eight functions")
      endif()
    elseif(line MATCHES "^[ \t]*$")
      set(dll "")
    endif()
  endforeach()
  if(NOT from_vantor)
    fail("does not import vantor.dll")
  endif()
else()
  message(FATAL_ERROR "check_pe.cmake: unknown CHECK '${CHECK}'")
endif()

if(failures)
  message(FATAL_ERROR "${MODULE}:\n${failures}")
endif()
message(STATUS "${MODULE}: ${CHECK} as expected")
