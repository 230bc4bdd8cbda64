# What Debian asks of a package beside the program and the copyright file:
# the changelog, and a manual page, so that `man RavelinFwUpgrade` works once
# the package is installed. Both gzipped without a name or time stamp, so
# that two builds of one version give the same files. The page is made by
# help2man from the built tool's --help, so that it says what the tool says.
find_program(RAVELIN_GZIP gzip REQUIRED)
find_program(RAVELIN_HELP2MAN help2man)
set(ravelin_docs_dir ${PROJECT_BINARY_DIR}/packaging)
set(ravelin_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

add_custom_command(OUTPUT ${ravelin_docs_dir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${ravelin_packaging_dir}/changelog ${ravelin_docs_dir}/changelog
  COMMAND ${RAVELIN_GZIP} -n -9 -f ${ravelin_docs_dir}/changelog
  DEPENDS ${ravelin_packaging_dir}/changelog
  VERBATIM)
set(ravelin_debian_docs ${ravelin_docs_dir}/changelog.gz)
install(FILES ${ravelin_docs_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(RAVELIN_HELP2MAN)
  # help2man runs manpage-help.sh as the tool; --help and --version open no
  # port, and RAVELIN_COM_DIR would keep any away from the machine's own.
  # The page's date is the package time, in English whatever the locale.
  add_custom_command(OUTPUT ${ravelin_docs_dir}/RavelinFwUpgrade.1.gz
    COMMAND ${CMAKE_COMMAND} -E env RAVELIN_MANPAGE_TOOL=$<TARGET_FILE:RavelinFwUpgrade>
            RAVELIN_COM_DIR=${ravelin_docs_dir}/no-ports
            SOURCE_DATE_EPOCH=${RAVELIN_SOURCE_DATE_EPOCH} LC_ALL=C TZ=UTC
            ${RAVELIN_HELP2MAN} --no-info --section=1 --name=${RAVELIN_PACKAGE_SUMMARY}
            --output=${ravelin_docs_dir}/RavelinFwUpgrade.1 ${ravelin_packaging_dir}/manpage-help.sh
    COMMAND ${RAVELIN_GZIP} -n -9 -f ${ravelin_docs_dir}/RavelinFwUpgrade.1
    DEPENDS RavelinFwUpgrade ${ravelin_packaging_dir}/manpage-help.sh ${RAVELIN_SOURCE_DATE_EPOCH_FILE}
    VERBATIM)
  list(APPEND ravelin_debian_docs ${ravelin_docs_dir}/RavelinFwUpgrade.1.gz)
  install(FILES ${ravelin_docs_dir}/RavelinFwUpgrade.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: the package gets no manual page (apt-get install help2man)")
endif()
add_custom_target(ravelin_debian_docs ALL DEPENDS ${ravelin_debian_docs})
