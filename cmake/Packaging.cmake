# What `cmake --install` puts in place, and the packages CPack makes of it:
# the tool alone (neither unit-sim nor the test builds) and its documentation,
# and natively the Ansible collection that runs it on many hosts.
#
# Natively: bin/RavelinFwUpgrade, the README, the copyright file and the
# changelog in the doc folder, a manual page and the collection, packed by
# `cpack -G DEB` into a Debian package. For Windows: RavelinFwUpgrade.exe
# and an operator's README.txt side by side, packed by `cpack -G ZIP` into the zip that
# operators unpack and run from: RavelinFwUpgrade-VERSION-win32.zip from the
# 32-bit build, -win64.zip from the 64-bit one.

# Debian's doc folder is named after the package, which is all lower case.
set(CMAKE_INSTALL_DOCDIR share/doc/ravelinfwupgrade CACHE PATH "Documentation folder")
include(GNUInstallDirs)

set(RAVELIN_PACKAGE_SUMMARY "firmware update tool for the KorVan 6G SDI extender units")

if(WIN32)
  # With CR LF line ends, so that every Windows editor shows it as lines.
  configure_file(${PROJECT_SOURCE_DIR}/src/windows/README.txt.in ${PROJECT_BINARY_DIR}/README.txt
    @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS RavelinFwUpgrade RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  # CPack names every Windows package win32 unless the compiler is MSVC's
  # 64-bit one.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  install(TARGETS RavelinFwUpgrade RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The Ansible collection ravelin.fwupgrade, where ansible-core finds it
  # without any setting: its default collections path ends in
  # /usr/share/ansible/collections. Its files are data (the modules are
  # copied to the hosts and run there by Ansible's Python), so none is
  # executable; what its builds and tests leave there stays out.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/ansible/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/ansible/collections/ansible_collections/ravelin/fwupgrade
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
    PATTERN .gitignore EXCLUDE
    PATTERN __pycache__ EXCLUDE
    PATTERN "*.pyc" EXCLUDE
    PATTERN "*.tar.gz" EXCLUDE
    PATTERN tests EXCLUDE)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ravelinfwupgrade)
  set(CPACK_GENERATOR DEB)
  # The sanitizer and fuzzer builds make no package.
  if(NOT RAVELIN_SANITIZE AND NOT RAVELIN_FUZZ)
    include(${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake)
  endif()
endif()

set(RAVELIN_PACKAGE_MAINTAINER "KorVan firmware tools <firmware-tools@korvan.invalid>"
  CACHE STRING "Maintainer named in the Debian package, as \"Name <e-mail>\"")

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR KorVan)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${RAVELIN_PACKAGE_SUMMARY})
set(CPACK_PACKAGE_DESCRIPTION "Updates the MCU and programmable-logic firmware of a TX or RX unit
of the 6G SDI extender over fibre through its serial port. The tool carries
both images, finds the unit's port and baud rate by itself, streams the
images and confirms the unit's restart.")
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME ravelinfwupgrade)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${RAVELIN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Depends: from dpkg-shlibdeps' scan of the tool's shared libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The collection is of use on the control node only with Ansible there.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS ansible-core)

include(${CMAKE_CURRENT_LIST_DIR}/ReleaseFiles.cmake)
include(CPack)
