# The Debian package (scripts/package.sh runs cpack): vantorel_<version>_<arch>.deb with the
# program folder in /usr/lib/vantorel, the /usr/bin/vantorel link, the desktop entry and icons.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantorel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantorel")
set(CPACK_PACKAGE_CONTACT "Vantorel developers <vantorel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Records presentations' slide shows into video and burns them to DVD")
set(CPACK_PACKAGE_DESCRIPTION
  "Vantorel runs the slide shows of .ppt, .pps, .pptx and .odp presentations in LibreOffice Impress\n\
and records them, with sound, into AVI files. It can convert the recordings to DVD MPEG-2, author\n\
a DVD-Video tree and burn it to a disc.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the program and the filter module link (Qt 6, libav*, libpulse, X11) come from
# dpkg-shlibdeps; the rest is named here: Qt's window system plug-in, the disc burning library
# (named until a linked part needs it), the office that runs the shows, the MPEG-2 encoder and
# the DVD authoring tool behind the fg and ar links, the DVD image maker, and the shell's "open".
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, libburn4, libreoffice-impress, ffmpeg, dvdauthor, genisoimage, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, dbus-user-session | dbus-x11, xvfb, pulseaudio-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "vcdimager")
include(CPack)
