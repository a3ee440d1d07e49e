# Read by cpack before each package generator runs (CPACK_PROJECT_CONFIG_FILE).
#
# An archive is unpacked wherever its user chooses, so the vantor.pc in it
# finds the prefix from its own folder (cmake/VantorPkgConfig.cmake); a
# Debian package's names /usr.
if(CPACK_GENERATOR MATCHES "^(TGZ|TXZ|TBZ2|ZIP)$")
  set(ENV{VANTOR_PC_RELOCATABLE} 1)
else()
  unset(ENV{VANTOR_PC_RELOCATABLE})
endif()
