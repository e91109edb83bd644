# Included by the install script with TOVAN_DATA, TOVAN_STAGE, TOVAN_BINDIR
# and TOVAN_DATADIR set; CMAKE_INSTALL_PREFIX is the prefix being installed to.
set(program "${CMAKE_INSTALL_PREFIX}/${TOVAN_BINDIR}/tovantts")

# Exec= in both files is split like a shell line: a path with blanks or
# shell characters goes in double quotes with \ " ` $ escaped.
set(quoted "${program}")
if(NOT program MATCHES "^[A-Za-z0-9/._+,-]+$")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(REPLACE "`" "\\`" quoted "${quoted}")
  string(REPLACE "$" "\\$" quoted "${quoted}")
  set(quoted "\"${quoted}\"")
endif()

# A desktop entry escapes each backslash once more and doubles %.
string(REPLACE "\\" "\\\\" EXEC "${quoted}")
string(REPLACE "%" "%%" EXEC "${EXEC}")
configure_file("${TOVAN_DATA}/org.tovantts.TovanTTS.desktop.in"
  "${TOVAN_STAGE}/org.tovantts.TovanTTS.desktop" @ONLY)
set(EXEC "${quoted}")
configure_file("${TOVAN_DATA}/org.tovantts.TovanTTS.service.in"
  "${TOVAN_STAGE}/org.tovantts.TovanTTS.service" @ONLY)

file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${TOVAN_DATADIR}/applications" TYPE FILE
  FILES "${TOVAN_STAGE}/org.tovantts.TovanTTS.desktop")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${TOVAN_DATADIR}/dbus-1/services" TYPE FILE
  FILES "${TOVAN_STAGE}/org.tovantts.TovanTTS.service")
