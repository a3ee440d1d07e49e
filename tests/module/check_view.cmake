# Runs a host of the x64 vantor.dll under wine64 and checks where its keys
# went: into the 32-bit registry view (HKLM\Software\WOW6432Node), where the
# 32-bit game reads them, and not into the 64-bit view.
#
#   cmake -DEMULATOR=... -DHOST=vantor_example.exe -P check_view.cmake
cmake_minimum_required(VERSION 3.25)

function(run expected)
  execute_process(COMMAND ${EMULATOR} ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
  if(NOT code STREQUAL "${expected}")
    message(FATAL_ERROR "${ARGN}: exit ${code}, expected ${expected}\n${out}${err}")
  endif()
  set(OUT "${out}" PARENT_SCOPE)
endfunction()

foreach(view 32 64)
  execute_process(COMMAND ${EMULATOR} reg delete "HKLM\\Software\\QUORIX" /f /reg:${view}
    OUTPUT_QUIET ERROR_QUIET)
endforeach()
# The example reads both records, which seeds both keys on a first start.
run(0 "${HOST}")
run(0 reg query "HKLM\\Software\\QUORIX\\Game" /reg:32)
if(NOT OUT MATCHES "User Name[ \t]+REG_SZ[ \t]+Your Name Here")
  message(FATAL_ERROR "reg query /reg:32 does not show the seeded game key:\n${OUT}")
endif()
run(0 reg query "HKLM\\Software\\WOW6432Node\\QUORIX\\Keyboard" /reg:64)
if(NOT OUT MATCHES "Fire[ \t]+REG_DWORD[ \t]+0x20")
  message(FATAL_ERROR "WOW6432Node does not hold the seeded key bindings:\n${OUT}")
endif()
run(1 reg query "HKLM\\Software\\QUORIX" /reg:64)
execute_process(COMMAND ${EMULATOR} reg delete "HKLM\\Software\\QUORIX" /f /reg:32
  OUTPUT_QUIET ERROR_QUIET)
