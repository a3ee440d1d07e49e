# What cpack makes.
#
# Windows: one ZIP of everything (vantor-<version>-win32.zip or -win64.zip).
#
# Linux: Debian packages, one per install component, and a .tar.gz of
# everything but the Debian packages' own files (the packages preset: cmake
# --workflow --preset packages):
#
#   libvantor1     the shared library; the machine-wide store's folder
#                  (VANTOR_INSTALL_STATE_DIR), which the package owns; and
#                  libexec/vantor/seed-store, which its install runs to
#                  create the machine's store with the defaults
#   libvantor-dev  the header, the libvantor.so link, the CMake package and
#                  vantor.pc
#   vantorctl      the command-line tool, its manual page and its bash
#                  completion
#
# The packages are made the Debian way: installed under /usr with the
# library in the multiarch folder (the preset sets CMAKE_INSTALL_PREFIX to
# /usr, where GNUInstallDirs picks it), built hardened (the preset's flags),
# stripped, with the shared library's shlibs and symbols files and ldconfig
# trigger, dependencies found by dpkg-shlibdeps, and a copyright file and
# changelog for each. Each package's description starts with its one-line
# synopsis. tests/packages/check.sh holds them to lintian with no warning.
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VENDOR "The vantor developers")
set(CPACK_PACKAGE_CONTACT "The vantor developers <vantor@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/VantorCPackOptions.cmake)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME vantor-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME vantor-${PROJECT_VERSION}-win32)
  endif()
  include(CPack)
  return()
endif()

get_filename_component(vantor_state_dir "${VANTOR_REGISTRY_PATH}" DIRECTORY)
if(VANTOR_INSTALL_STATE_DIR)
  install(DIRECTORY DESTINATION "${vantor_state_dir}" COMPONENT runtime
    DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
endif()

# What the install runs to create the machine's store with the defaults
# (cmake/debian/postinst.in), with the library's own readers.
add_executable(vantor_seed_store tools/seed-store/seed_store.c)
set_target_properties(vantor_seed_store PROPERTIES OUTPUT_NAME seed-store)
target_link_libraries(vantor_seed_store PRIVATE vantor::vantor vantor_warnings)
install(TARGETS vantor_seed_store
  RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vantor COMPONENT runtime)

# The Debian packages' own files, in components of their own (deb_runtime,
# ...) that neither `cmake --install` nor the archive installs: each
# package's /usr/share/doc/<package> (copyright, and the changelog
# compressed as Debian policy wants) and its lintian overrides. Each package
# is a component group: its component and the matching deb_ one.
string(TIMESTAMP vantor_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(vantor_packages runtime:libvantor1 development:libvantor-dev)
if(VANTOR_BUILD_TOOLS)
  list(APPEND vantor_packages tool:vantorctl)
endif()
set(CPACK_COMPONENTS_ALL)
foreach(component_package IN LISTS vantor_packages)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  set(doc ${PROJECT_BINARY_DIR}/package-doc/${package})
  set(VANTOR_DEB_PACKAGE ${package})
  set(VANTOR_DEB_DATE "${vantor_changelog_date}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
    ${PROJECT_BINARY_DIR}/package-doc/${package}.changelog @ONLY)
  vantor_gzip(vantor_changelog_${package} ${PROJECT_BINARY_DIR}/package-doc/${package}.changelog
    ${doc}/changelog.Debian.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${doc}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    COMPONENT deb_${component} EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/${package}.lintian-overrides RENAME ${package}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
    COMPONENT deb_${component} EXCLUDE_FROM_ALL)
  string(TOUPPER ${component} upper)
  set(CPACK_COMPONENT_${upper}_GROUP ${component})
  set(CPACK_COMPONENT_DEB_${upper}_GROUP ${component})
  list(APPEND CPACK_COMPONENTS_ALL ${component} deb_${component})
endforeach()

# The library package's maintainer scripts: the machine's store created at
# install and removed at purge; ldconfig runs by the trigger alone.
set(VANTOR_SEED_STORE ${CMAKE_INSTALL_FULL_LIBEXECDIR}/vantor/seed-store)
set(VANTOR_STATE_DIR ${vantor_state_dir})
foreach(script postinst postrm)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/${script}.in
    ${PROJECT_BINARY_DIR}/package-control/${script} @ONLY)
endforeach()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vantor.example.org/")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvantor1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "settings library of the tank game
The game's settings and key bindings, read, written and reset through
eight plain C functions, kept in a stand-in registry: REGEDIT4 hive files,
replaced atomically and durably.")
# Only the runtime package holds a shared library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/cmake/debian/triggers ${PROJECT_SOURCE_DIR}/cmake/debian/symbols
  ${PROJECT_BINARY_DIR}/package-control/postinst ${PROJECT_BINARY_DIR}/package-control/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvantor-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_ARCHITECTURE_FROM_FILES OFF)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "settings library of the tank game - development files
The C header, the CMake package (find_package(vantor)) and the pkg-config
file for building hosts against libvantor.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libvantor1 (= ${PROJECT_VERSION}-1)")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME vantorctl)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "show and change the tank game's settings
vantorctl shows, changes, resets, exports and imports the game's settings
and key bindings through the settings library, as the game does.")
# The tool loads the library at run time, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libvantor1 (= ${PROJECT_VERSION}-1)")

include(CPack)
