# Release packages: a .deb for Debian and Ubuntu, and a tarball that runs from wherever it is
# unpacked (the app finds its helper and libraries relative to its own executable).
set(CPACK_PACKAGE_NAME "ambrel")
set(CPACK_PACKAGE_VENDOR "Ambrel")
set(CPACK_PACKAGE_CONTACT "Ambrel maintainers <maintainers@ambrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Ambrel sits in the system tray and transcribes, on the device, what the\n"
    "computer plays and what the microphone hears, as two separate sources.\n"
    "Captions show in the tray menu and in a floating caption window; every run\n"
    "is saved as a JSON record and a Markdown transcript.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://ambrel.org")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ambrel")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 0)

# The tarball's name ends in .tar.gz and holds one folder: what the updater replaces.
set(AMBREL_ARCHITECTURE "${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_ARCHIVE_FILE_NAME "ambrel-${PROJECT_VERSION}-linux-${AMBREL_ARCHITECTURE}")
set(CPACK_PACKAGE_FILE_NAME "ambrel-${PROJECT_VERSION}-linux-${AMBREL_ARCHITECTURE}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Libraries the programs link come from dpkg-shlibdeps; the rest are data and helpers.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pocketsphinx-en-us")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio, fonts-symbola")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pavucontrol")
# The bundled speech library is private to the app.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_INSTALL_PREFIX}/lib/ambrel")

include(CPack)
