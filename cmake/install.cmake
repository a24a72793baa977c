# What "make install" and the ports tree install, in the BSD layout under
# the prefix: the program as sbin/leafsweep and its manual page as
# share/man/man8/leafsweep.8.gz. That is where the base systems keep their
# pages (/usr/share/man with the prefix /usr) and where the ports tree
# keeps every port's (/usr/local/share/man). DESTDIR is honoured as CMake
# always does. Only these two files are installed; nothing built for the
# tests or the demo.
#
# The manual page is installed compressed, as the base system and the
# ports framework install theirs, so that the ports tree's package list
# names exactly the file this installs.

find_program(GZIP_PROGRAM gzip)
if(NOT GZIP_PROGRAM)
  message(FATAL_ERROR "gzip was not found; it compresses the manual page")
endif()

set(LEAFSWEEP_MAN_PAGE ${CMAKE_BINARY_DIR}/leafsweep.8.gz)
# -n keeps the name and time stamp out of the archive, so that the same page
# always gives the same file.
add_custom_command(OUTPUT ${LEAFSWEEP_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/leafsweep.8 ${CMAKE_BINARY_DIR}/leafsweep.8
  COMMAND ${GZIP_PROGRAM} -9 -n -f ${CMAKE_BINARY_DIR}/leafsweep.8
  DEPENDS ${PROJECT_SOURCE_DIR}/leafsweep.8
  VERBATIM)
add_custom_target(leafsweep-man ALL DEPENDS ${LEAFSWEEP_MAN_PAGE})

install(TARGETS leafsweep RUNTIME DESTINATION sbin)
install(FILES ${LEAFSWEEP_MAN_PAGE} DESTINATION share/man/man8)
