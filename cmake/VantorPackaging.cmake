# What cpack makes.
#
# Windows: one ZIP of everything (vantor-<version>-win32.zip or -win64.zip).
#
# Linux: Debian packages, one per install component, and a .tar.gz of
# everything (the packages preset: cmake --workflow --preset packages):
#
#   libvantor1     the shared library, and the machine-wide store's folder
#                  (VANTOR_INSTALL_STATE_DIR), which the package owns
#   libvantor-dev  the header, the libvantor.so link, the CMake package and
#                  vantor.pc
#   vantorctl      the command-line tool, its manual page and its bash
#                  completion
#
# The packages are made the Debian way: installed under /usr with the
# library in the multiarch folder (the preset sets CMAKE_INSTALL_PREFIX to
# /usr, where GNUInstallDirs picks it), stripped, with the shared library's
# shlibs file and ldconfig trigger, dependencies found
# by dpkg-shlibdeps, and a copyright file and changelog for each. Each
# package's description starts with its one-line synopsis.
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

if(VANTOR_INSTALL_STATE_DIR)
  get_filename_component(vantor_state_dir "${VANTOR_REGISTRY_PATH}" DIRECTORY)
  install(DIRECTORY DESTINATION "${vantor_state_dir}" COMPONENT runtime
    DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
endif()

# Each package's /usr/share/doc/<package>: copyright and changelog, the
# changelog compressed as Debian policy wants (gzip -9n: reproducible).
string(TIMESTAMP vantor_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component_package runtime:libvantor1 development:libvantor-dev tool:vantorctl)
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
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
if(VANTOR_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
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
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
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
