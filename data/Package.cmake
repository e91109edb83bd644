# `make deb`: the install tree above as a Debian package (CPack's DEB
# generator), named and versioned by the project, its library dependencies
# found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovantts)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The TovanTTS developers")
set(CPACK_PACKAGE_CONTACT "The TovanTTS developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Read documents and anything you select aloud")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Lumora reads books, articles and anything you select aloud with its own
neural voice, which runs on the processor: PDF, EPUB, Word, HTML, Markdown
and plain text files, web articles, pasted text and the selection of any
program. An assistant speaks finished shell commands, Claude Code events and
the notifications of programs you choose; the tool tovan sends it events.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not libraries, so not found by shlibdeps: the session bus that starts the
# program for tovan; the probes of audio inputs and of do-not-disturb.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "default-dbus-session-bus | dbus-session-bus")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio-utils, libglib2.0-bin")
# Installed as to /usr, so the desktop entry and the bus service file name
# /usr/bin/tovantts; the files are staged under DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
