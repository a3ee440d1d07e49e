# Writes and installs vantor.pc; run at install time (install(CODE)), when
# the prefix is known: `cmake --install --prefix DIR` chooses it then.
#
# Set by the caller: VANTOR_PC_TEMPLATE (cmake/vantor.pc.in), VANTOR_PC_WRITTEN
# (where to write the file before it is installed), PROJECT_VERSION,
# VANTOR_PC_LIBDIR_SETTING and VANTOR_PC_INCLUDEDIR_SETTING (the
# CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR of the build, relative to
# the prefix or absolute).
#
# The paths are plain: pkg-config hands them to compilers as they are, and
# only a plain /usr/include is taken for the system's folder, which the
# compiler must not be given again with -I. A package archive that may be
# unpacked anywhere (cpack sets VANTOR_PC_RELOCATABLE in the environment for
# those, cmake/VantorCPackOptions.cmake) finds its prefix from the .pc
# file's own folder instead.
cmake_path(SET prefix NORMALIZE "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "(.)/+$" "\\1" prefix "${prefix}")  # no trailing slash

# vantor_pc_folder(SETTING VAR): the folder as the .pc file names it, from
# ${prefix} when it lies in the prefix; VAR_FULL gets its absolute path.
function(vantor_pc_folder setting var)
  if(IS_ABSOLUTE "${setting}")
    cmake_path(SET full NORMALIZE "${setting}")
  else()
    cmake_path(SET full NORMALIZE "${prefix}/${setting}")
  endif()
  string(REGEX REPLACE "(.)/+$" "\\1" full "${full}")
  cmake_path(IS_PREFIX prefix "${full}" NORMALIZE inside)
  if(inside AND NOT full STREQUAL prefix AND NOT prefix STREQUAL "/")
    cmake_path(RELATIVE_PATH full BASE_DIRECTORY "${prefix}" OUTPUT_VARIABLE below)
    set(${var} "\${prefix}/${below}" PARENT_SCOPE)
  else()
    set(${var} "${full}" PARENT_SCOPE)
  endif()
  set(${var}_FULL "${full}" PARENT_SCOPE)
endfunction()

vantor_pc_folder("${VANTOR_PC_LIBDIR_SETTING}" VANTOR_PC_LIBDIR)
vantor_pc_folder("${VANTOR_PC_INCLUDEDIR_SETTING}" VANTOR_PC_INCLUDEDIR)
set(VANTOR_PC_PREFIX "${prefix}")
if("$ENV{VANTOR_PC_RELOCATABLE}")
  cmake_path(RELATIVE_PATH prefix BASE_DIRECTORY "${VANTOR_PC_LIBDIR_FULL}/pkgconfig"
    OUTPUT_VARIABLE up)
  string(REGEX REPLACE "/+$" "" up "${up}")
  set(VANTOR_PC_PREFIX "\${pcfiledir}/${up}")
endif()

configure_file("${VANTOR_PC_TEMPLATE}" "${VANTOR_PC_WRITTEN}" @ONLY)
file(INSTALL DESTINATION "${VANTOR_PC_LIBDIR_FULL}/pkgconfig" TYPE FILE
  FILES "${VANTOR_PC_WRITTEN}" RENAME vantor.pc)
