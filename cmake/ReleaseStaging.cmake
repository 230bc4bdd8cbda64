# Run by CPack once the files are installed in its staging folder, before it
# packs them: every file and folder gets the package time and permissions
# that do not depend on the umask of whoever built it, so that the archive
# headers are the same in every build of one commit.
find_program(RAVELIN_FIND find REQUIRED)
find_program(RAVELIN_TOUCH touch REQUIRED)
find_program(RAVELIN_CHMOD chmod REQUIRED)
set(staging ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
execute_process(COMMAND ${RAVELIN_CHMOD} -R u+rwX,go+rX,go-w ${staging} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${RAVELIN_FIND} ${staging} -exec ${RAVELIN_TOUCH} -h -d @${CPACK_RAVELIN_SOURCE_DATE_EPOCH} {} +
  COMMAND_ERROR_IS_FATAL ANY)
