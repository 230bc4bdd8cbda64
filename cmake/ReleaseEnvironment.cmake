# Read by CPack before it installs anything into its staging folder, so that
# every program it runs sees the package time: strip writes it into a
# Windows exe's header in place of the time it runs at, and CPack takes it
# for the files it writes itself (a .deb's control files, its archive
# headers). A zip stores its file times as local time: UTC makes them the
# same wherever the package is made.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_RAVELIN_SOURCE_DATE_EPOCH})
set(ENV{TZ} UTC)
