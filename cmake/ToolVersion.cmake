# Sets RAVELIN_VERSION ("MAJOR.MINOR.PATCH") from src/system/ToolVersion.h, the
# header the tool prints its version from, so that the project, the Windows
# version resource and the packages can carry no other copy of it.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../src/system/ToolVersion.h ravelin_version_defines
  REGEX "^#define TOOL_VERSION_(MAJOR|MINOR|PATCH) ")
set(ravelin_version_parts "")
foreach(part MAJOR MINOR PATCH)
  if(NOT ravelin_version_defines MATCHES "#define TOOL_VERSION_${part} ([0-9]+)")
    message(FATAL_ERROR "src/system/ToolVersion.h defines no number TOOL_VERSION_${part}")
  endif()
  list(APPEND ravelin_version_parts ${CMAKE_MATCH_1})
endforeach()
list(JOIN ravelin_version_parts "." RAVELIN_VERSION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../src/system/ToolVersion.h)
