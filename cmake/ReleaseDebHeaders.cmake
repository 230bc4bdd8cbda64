# Run by CPack once it has made the packages, before the bill of materials
# and the checksums. CPack writes the three members of a .deb's ar archive
# (debian-binary, control.tar.gz, data.tar.gz) with the permissions its own
# files got, which follow the umask of whoever builds; dpkg-deb writes
# 100644 for each. So does this, in place in each member's header (bytes 40
# to 47 of its 60), whatever the umask was.
find_program(RAVELIN_DD dd REQUIRED)
set(mode_file ${CPACK_TOPLEVEL_DIRECTORY}/ar-member-mode)
file(WRITE ${mode_file} "100644  ")

foreach(package_file ${CPACK_PACKAGE_FILES})
  if(NOT package_file MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE ${package_file} package_size)
  file(READ ${package_file} magic LIMIT 8)
  if(NOT magic STREQUAL "!<arch>\n")
    message(FATAL_ERROR "${package_file} is not an ar archive")
  endif()
  set(offset 8)
  while(offset LESS package_size)
    file(READ ${package_file} header OFFSET ${offset} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 member_size)
    string(STRIP "${member_size}" member_size)
    if(NOT member_size MATCHES "^[0-9]+$" OR NOT header MATCHES "`\n$")
      message(FATAL_ERROR "${package_file}: no ar member header at byte ${offset}")
    endif()
    math(EXPR mode_offset "${offset} + 40")
    execute_process(COMMAND ${RAVELIN_DD} of=${package_file} bs=1 seek=${mode_offset} conv=notrunc status=none
      INPUT_FILE ${mode_file} COMMAND_ERROR_IS_FATAL ANY)
    # Members start on even bytes.
    math(EXPR offset "${offset} + 60 + ${member_size} + ${member_size} % 2")
  endwhile()
endforeach()
