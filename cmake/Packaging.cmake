# The Debian package: `cmake --build BUILD --target package`, or
# `cpack -G DEB` in the build folder. Its Depends are read off the binaries
# by dpkg-shlibdeps (dpkg-dev and file must be installed), plot's helper
# (libexec/trelvane/trelvane-cli-draw) among them: it brings Qt Gui.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trelvane)
set(CPACK_PACKAGE_VENDOR "The Trelvane developers")
set(CPACK_PACKAGE_CONTACT "The Trelvane developers <developers@trelvane.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://trelvane.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "play PSG chip-music files, find their loop and cut them")
set(CPACK_PACKAGE_DESCRIPTION
"A PSG file records, 50 frames a second, the register writes a tune sends to
an AY-3-8910 or YM2149 sound chip. Trelvane loads such files (or appends
several), plays them through its own model of the chip, puts a cut position
on any frame, cuts the song in memory or into two files, and finds where the
song starts to repeat itself.
.
The package also holds trelvane-cli, which does the same from scripts, with
its manual page and bash completion; its plot command draws through a
helper in /usr/libexec/trelvane, so the other commands load no graphics
libraries.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program plays through libpulse (linked by libQt6Multimedia), which needs
# a sound server to talk to; without one it ends with status -4. The window
# opens through the xcb platform plugin, which comes with libqt6gui6; a native
# Wayland window needs the Wayland plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")

include(CPack)
