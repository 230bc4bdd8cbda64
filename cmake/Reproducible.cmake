# Two builds of one commit give the same bytes, wherever and whenever they
# run: no build folder, no link time and no build date ends up in the tool
# or its packages.
#
# Sets RAVELIN_SOURCE_DATE_EPOCH, the one time the packages carry (file
# times, the manual page's date, the bill of materials), in seconds since
# 1970: SOURCE_DATE_EPOCH from the environment where the caller gives one,
# else the last commit's time, else, in a source tree without git (an
# unpacked source archive), the date of the latest changelog entry, which
# names the release the tree is of.

set(ravelin_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ravelin_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(ravelin_epoch_origin "SOURCE_DATE_EPOCH")
else()
  find_package(Git QUIET)
  set(ravelin_epoch "")
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE ravelin_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A new commit or checkout moves the time: configure again then.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --path-format=absolute --git-path logs/HEAD
      OUTPUT_VARIABLE ravelin_git_head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(ravelin_git_head_log AND EXISTS ${ravelin_git_head_log})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ravelin_git_head_log})
    endif()
  endif()
  set(ravelin_epoch_origin "the last commit")
  if(NOT ravelin_epoch MATCHES "^[0-9]+$")
    find_program(RAVELIN_DATE date)
    file(STRINGS ${ravelin_changelog} ravelin_trailer REGEX "^ -- .*>  " LIMIT_COUNT 1)
    string(REGEX REPLACE "^ -- .*>  " "" ravelin_trailer_date "${ravelin_trailer}")
    if(ravelin_trailer_date AND RAVELIN_DATE)
      execute_process(COMMAND ${RAVELIN_DATE} -u -d "${ravelin_trailer_date}" +%s
        OUTPUT_VARIABLE ravelin_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    set(ravelin_epoch_origin "the latest entry of packaging/changelog")
  endif()
  if(NOT ravelin_epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "No time for the packages: no git history, and no date readable in ${ravelin_changelog}; "
      "set SOURCE_DATE_EPOCH")
  endif()
endif()
if(NOT ravelin_epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is '${ravelin_epoch}', not a number of seconds")
endif()
set(RAVELIN_SOURCE_DATE_EPOCH ${ravelin_epoch})
message(STATUS "Package time: ${RAVELIN_SOURCE_DATE_EPOCH}, from ${ravelin_epoch_origin}")
# Rewritten only when the time changes: what is made with it depends on it.
set(RAVELIN_SOURCE_DATE_EPOCH_FILE ${PROJECT_BINARY_DIR}/package-time.txt)
file(CONFIGURE OUTPUT ${RAVELIN_SOURCE_DATE_EPOCH_FILE} CONTENT "${RAVELIN_SOURCE_DATE_EPOCH}\n")

# __FILE__ and the debug information name paths inside the trees, never the
# folders the trees are in. The build tree's mapping comes last so that it
# wins for a build folder inside the source tree.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
if(WIN32)
  # The linker otherwise writes the link time into the exe's header.
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# The installed folders as Debian expects them, whatever umask the build
# runs under.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
