# What CPack does beside making a package, so that a release can be checked
# and rebuilt: it runs with the package time and in UTC
# (ReleaseEnvironment.cmake); the staged files get the package time and
# plain permissions before they are packed (ReleaseStaging.cmake); a .deb's
# own headers are made plain (ReleaseDebHeaders.cmake); and beside the
# package come, in the same folder, its SPDX bill of materials and
# SHA256SUMS (ReleaseManifests.cmake). Included by Packaging.cmake before CPack; hands
# what the scripts need over as CPACK_RAVELIN_* variables.

set(CPACK_RAVELIN_SOURCE_DATE_EPOCH ${RAVELIN_SOURCE_DATE_EPOCH})
set(CPACK_RAVELIN_TOOL_VERSION ${PROJECT_VERSION})
set(CPACK_RAVELIN_FIRMWARE_FILES "")
foreach(name ${RAVELIN_FIRMWARE_NAMES})
  list(APPEND CPACK_RAVELIN_FIRMWARE_FILES ${RAVELIN_FIRMWARE_BUILD_DIR}/${name})
endforeach()
if(FIRMWARE_DIR)
  set(CPACK_RAVELIN_FIRMWARE_ORIGIN "the release image, taken from the build's firmware folder")
else()
  set(CPACK_RAVELIN_FIRMWARE_ORIGIN "a generated stand-in of the release image's shape and length, not the release image")
endif()

# nlohmann/json's version, from the header that is compiled in.
if(CMAKE_CROSSCOMPILING)
  set(ravelin_json_abi ${RAVELIN_JSON_HEADERS}/detail/abi_macros.hpp)
  if(NOT EXISTS ${ravelin_json_abi})
    set(ravelin_json_abi ${RAVELIN_JSON_HEADERS}/json.hpp)
  endif()
  file(STRINGS ${ravelin_json_abi} ravelin_json_defines REGEX "^#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) ")
  set(ravelin_json_parts "")
  foreach(part MAJOR MINOR PATCH)
    if(NOT ravelin_json_defines MATCHES "NLOHMANN_JSON_VERSION_${part} ([0-9]+)")
      message(FATAL_ERROR "No NLOHMANN_JSON_VERSION_${part} in ${ravelin_json_abi}")
    endif()
    list(APPEND ravelin_json_parts ${CMAKE_MATCH_1})
  endforeach()
  list(JOIN ravelin_json_parts "." CPACK_RAVELIN_JSON_VERSION)
else()
  set(CPACK_RAVELIN_JSON_VERSION ${nlohmann_json_VERSION})
endif()

# The Windows exe is linked statically: the compiler's and mingw-w64's
# runtime libraries are inside it, at the versions of the Debian packages
# that bring them (GCC's own numbers are 12.0.0 in Debian's mingw-w64).
if(WIN32)
  find_program(RAVELIN_DPKG_QUERY dpkg-query)
  # ravelin_debian_version(OUT FILE): "PACKAGE VERSION" of the package that
  # installed FILE, or NOASSERTION.
  function(ravelin_debian_version out file)
    set(${out} NOASSERTION PARENT_SCOPE)
    if(NOT RAVELIN_DPKG_QUERY OR NOT EXISTS "${file}")
      return()
    endif()
    file(REAL_PATH ${file} file)
    execute_process(COMMAND ${RAVELIN_DPKG_QUERY} -S ${file} OUTPUT_VARIABLE owner ERROR_QUIET)
    if(NOT owner MATCHES "^([^:, ]+)[^:]*: ")
      return()
    endif()
    set(owner ${CMAKE_MATCH_1})
    execute_process(COMMAND ${RAVELIN_DPKG_QUERY} -W -f=\${Version} ${owner}
      OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(version)
      set(${out} "${owner} ${version}" PARENT_SCOPE)
    endif()
  endfunction()
  ravelin_debian_version(CPACK_RAVELIN_GCC_PACKAGE ${CMAKE_CXX_COMPILER})
  find_file(RAVELIN_MINGW_VERSION_HEADER _mingw_mac.h PATHS /usr/${MINGW_PREFIX}/include NO_DEFAULT_PATH)
  ravelin_debian_version(CPACK_RAVELIN_MINGW_PACKAGE "${RAVELIN_MINGW_VERSION_HEADER}")
endif()

set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/ReleaseEnvironment.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/ReleaseStaging.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/ReleaseDebHeaders.cmake ${CMAKE_CURRENT_LIST_DIR}/ReleaseManifests.cmake)
