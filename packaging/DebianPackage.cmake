# The Debian package vqx-setup_<version>_<arch>.deb: dependencies from the binaries,
# plus the Qt platform plugins, which vqxsu loads at run time and no linker sees.
set(CPACK_DEBIAN_PACKAGE_NAME ${VQX_PACKAGE_NAME})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VQX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# A Wayland desktop runs vqxsu natively with it, through XWayland without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The first line is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The VQX Setup Utility reads and changes the settings of a VQX-2 network
radio-interface unit attached to the computer by an RS-232 line.
.
 - vqxsu: the desktop program with its entry in the desktop menu;
 - vqxctl: reads, provisions and compares units from the command line;
 - vqxsim: a simulated unit on a pseudo-terminal, to try them without one.
.
Serial ports belong to the group dialout: to use one, join that group
(sudo usermod -aG dialout $USER) and log in again.")
