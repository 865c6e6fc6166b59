# Where an install puts Tavrin's data, and how the programs find it: relative to their own
# folder, so that any install prefix works (a package's /usr, a test's temporary folder).
include(GNUInstallDirs)

set(TAVRIN_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/tavrin")
set(TAVRIN_FULL_DATADIR "${CMAKE_INSTALL_FULL_DATADIR}/tavrin")
# udev reads rules below the prefix's lib, not below the multiarch library folder.
set(TAVRIN_INSTALL_UDEVDIR "lib/udev/rules.d")
set(TAVRIN_FULL_UDEVDIR "${CMAKE_INSTALL_PREFIX}/${TAVRIN_INSTALL_UDEVDIR}")

file(RELATIVE_PATH TAVRIN_MANUAL_FROM_BINDIR "${CMAKE_INSTALL_FULL_BINDIR}" "${TAVRIN_FULL_DATADIR}/manual")
file(RELATIVE_PATH TAVRIN_VMODEM_PROFILES_FROM_BINDIR "${CMAKE_INSTALL_FULL_BINDIR}" "${TAVRIN_FULL_DATADIR}/vmodem")

option(TAVRIN_SOURCE_MANUAL "Help > Contents falls back to this source tree's manual (for builds run from the tree)" ON)
