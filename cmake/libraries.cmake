# The dialog library and the wide-character ncurses it is built on. They lie
# in one of three layouts, each told apart by headers only it has:
#
# - DragonFly BSD's base system: dialog.h and libdialog are public, in
#   /usr/include and /usr/lib, but ncursesw is private: its headers are in
#   /usr/include/priv/ncurses and the library is libprivate_ncursesw in
#   /usr/lib/priv. Told by the private curses headers.
# - FreeBSD with the port devel/cdialog: dialog.h in include/cdialog and
#   libcdialog under the ports prefix; ncursesw is public in the base
#   system. Told by the cdialog headers.
# - The standard layout, Debian's and a FreeBSD base libdialog's among
#   others: dialog.h, libdialog, curses.h and libncursesw in the usual
#   places.
#
# DragonFly's comes first because its base libdialog is built on the private
# ncursesw; a cdialog from its ports tree is built on another ncurses and must
# not be mixed in. FreeBSD's port comes before a base libdialog that may still
# be there, as the port depends on the cdialog port.
#
# Each of the four cache variables, set on the command line, replaces what
# would be found; CURSES_LIBRARY may be a list, for an ncurses whose terminfo
# part is a library of its own.
#
# Sets LEAFSWEEP_LAYOUT, DIALOG_LIBRARIES (the dialog library, ncursesw and
# the math library) and LEAFSWEEP_RUN_PATH (the run path the program needs,
# or nothing).

find_path(LEAFSWEEP_PRIVATE_CURSES_ROOT priv/ncurses/curses.h)
find_path(LEAFSWEEP_CDIALOG_ROOT cdialog/dialog.h)
mark_as_advanced(LEAFSWEEP_PRIVATE_CURSES_ROOT LEAFSWEEP_CDIALOG_ROOT)

if(LEAFSWEEP_PRIVATE_CURSES_ROOT)
  set(LEAFSWEEP_LAYOUT "DragonFly BSD base")
  set(install_hint "Both come with the base system.")
  find_path(DIALOG_INCLUDE_DIR dialog.h)
  find_library(DIALOG_LIBRARY dialog)
  find_path(CURSES_INCLUDE_DIR curses.h PATHS ${LEAFSWEEP_PRIVATE_CURSES_ROOT}/priv/ncurses NO_DEFAULT_PATH)
  find_library(CURSES_LIBRARY private_ncursesw PATH_SUFFIXES priv)
  set(sought_DIALOG_INCLUDE_DIR "dialog.h in include")
  set(sought_DIALOG_LIBRARY "libdialog in lib")
  set(sought_CURSES_INCLUDE_DIR "curses.h in include/priv/ncurses")
  set(sought_CURSES_LIBRARY "libprivate_ncursesw in lib/priv")
elseif(LEAFSWEEP_CDIALOG_ROOT)
  set(LEAFSWEEP_LAYOUT "FreeBSD cdialog port")
  set(install_hint "Install the port devel/cdialog; ncursesw comes with the base system.")
  find_path(DIALOG_INCLUDE_DIR dialog.h PATHS ${LEAFSWEEP_CDIALOG_ROOT}/cdialog NO_DEFAULT_PATH)
  find_library(DIALOG_LIBRARY cdialog)
  find_path(CURSES_INCLUDE_DIR curses.h)
  find_library(CURSES_LIBRARY ncursesw)
  set(sought_DIALOG_INCLUDE_DIR "dialog.h in include/cdialog")
  set(sought_DIALOG_LIBRARY "libcdialog in lib")
  set(sought_CURSES_INCLUDE_DIR "curses.h in include")
  set(sought_CURSES_LIBRARY "libncursesw in lib")
else()
  set(LEAFSWEEP_LAYOUT "standard")
  set(install_hint "Install the dialog library and ncursesw: on Debian the packages dialog and libncurses-dev, on FreeBSD the port devel/cdialog.")
  find_path(DIALOG_INCLUDE_DIR dialog.h)
  find_library(DIALOG_LIBRARY dialog)
  find_path(CURSES_INCLUDE_DIR curses.h)
  find_library(CURSES_LIBRARY ncursesw)
  set(sought_DIALOG_INCLUDE_DIR "dialog.h in include")
  set(sought_DIALOG_LIBRARY "libdialog in lib")
  set(sought_CURSES_INCLUDE_DIR "curses.h in include")
  set(sought_CURSES_LIBRARY "libncursesw in lib")
endif()

set(missing "")
foreach(found DIALOG_INCLUDE_DIR DIALOG_LIBRARY CURSES_INCLUDE_DIR CURSES_LIBRARY)
  if(NOT ${found})
    string(APPEND missing "\n  ${found}: ${sought_${found}}; name it with -D${found}=...")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "Not found in the ${LEAFSWEEP_LAYOUT} layout of the dialog library and ncursesw:"
    "${missing}\n${install_hint} Or name the files with the cache variables above.")
endif()

set(DIALOG_LIBRARIES ${DIALOG_LIBRARY} ${CURSES_LIBRARY})
# libdialog calls sqrt, which most C libraries keep in a libm of their own.
find_library(MATH_LIBRARY m)
if(MATH_LIBRARY)
  list(APPEND DIALOG_LIBRARIES ${MATH_LIBRARY})
endif()

# A private shared library of the base system is not on the run-time
# linker's path. The program gets the run path the base system's own
# programs are linked with: the target's directories, not the ones the
# library was found in, which differ when building against a staged root.
set(LEAFSWEEP_RUN_PATH "")
foreach(library IN LISTS DIALOG_LIBRARY CURSES_LIBRARY)
  if(library MATCHES "/lib/priv/[^/]*\\.so[.0-9]*$")
    set(LEAFSWEEP_RUN_PATH /lib/priv /usr/lib/priv)
  endif()
endforeach()

message(STATUS "Dialog library and ncursesw in the ${LEAFSWEEP_LAYOUT} layout:")
foreach(found DIALOG_INCLUDE_DIR DIALOG_LIBRARY CURSES_INCLUDE_DIR CURSES_LIBRARY MATH_LIBRARY)
  message(STATUS "  ${found}: ${${found}}")
endforeach()
if(LEAFSWEEP_RUN_PATH)
  message(STATUS "  run path of the program: ${LEAFSWEEP_RUN_PATH}")
endif()
