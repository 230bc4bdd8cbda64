# The same sources as a 64-bit Windows exe (Debian's g++-mingw-w64-x86-64).
# Not shipped: it lets the Windows tests run under 64-bit Wine on machines
# whose kernel refuses 32-bit programs, where the 32-bit exe cannot start.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
