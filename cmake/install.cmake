# What `cmake --install` puts where (under the prefix; /usr in the Debian package):
#   bin/packscope, bin/packscope-convert, bin/packscope-record, bin/packscope-replay
#   share/applications/packscope.desktop           the menu entry, opens *.kss captures
#   share/mime/packages/packscope.xml              *.kss is application/x-kiss-capture
#   share/icons/hicolor/NxN/apps/packscope.png     drawn at build time by packscope-images
#   share/man/man1/packscope.1.gz, packscope-convert.1.gz, packscope-record.1.gz,
#                  packscope-replay.1.gz
#   lib/<arch>/wireshark/extcap/packscope-record   a link to bin/packscope-record, where
#                                                  Wireshark finds its extcaps (Debian's folder)
# and what `make package` (cpack) puts in the Debian package around it.
include(GNUInstallDirs)

install(TARGETS packscope packscope-convert packscope-record packscope-replay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/packscope.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Wireshark runs packscope-record as an extcap (a KISS TNC as a capture interface) from its extcap
# folder, /usr/lib/<arch>/wireshark/extcap on Debian: a relative link to the program there.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(packscope_extcap_default lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/extcap)
else()
  set(packscope_extcap_default lib/wireshark/extcap)
endif()
set(PACKSCOPE_EXTCAP_DIR ${packscope_extcap_default} CACHE STRING
  "Wireshark's extcap folder under the prefix, where a link to packscope-record goes")
file(RELATIVE_PATH packscope_extcap_target /prefix/${PACKSCOPE_EXTCAP_DIR}
  /prefix/${CMAKE_INSTALL_BINDIR}/packscope-record)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/extcap)
file(CREATE_LINK ${packscope_extcap_target} ${PROJECT_BINARY_DIR}/extcap/packscope-record SYMBOLIC)
install(FILES ${PROJECT_BINARY_DIR}/extcap/packscope-record DESTINATION ${PACKSCOPE_EXTCAP_DIR})
install(FILES data/packscope-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME packscope.xml)

# The icon at the sizes menus, docks and file managers ask for.
set(PACKSCOPE_ICON_SIZES 16 32 48 64 128 256)
set(icon_files)
foreach(size IN LISTS PACKSCOPE_ICON_SIZES)
  set(icon ${PROJECT_BINARY_DIR}/icons/${size}x${size}/apps/packscope.png)
  list(APPEND icon_files ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
    $<TARGET_FILE:packscope-images> --desktop-icons ${PROJECT_BINARY_DIR}/icons
    ${PACKSCOPE_ICON_SIZES}
  DEPENDS packscope-images
  COMMENT "Drawing the desktop icons"
  VERBATIM)
add_custom_target(packscope_icons ALL DEPENDS ${icon_files})

# Manual pages, with the project's version, compressed as Debian keeps them (-n: the same bytes
# on every build).
set(man_files)
foreach(page packscope.1 packscope-convert.1 packscope-record.1 packscope-replay.1)
  set(template ${PROJECT_SOURCE_DIR}/docs/man/${page})
  set(filled ${PROJECT_BINARY_DIR}/man/${page})
  # The command-line programs' pages: their OPTIONS from the option tables.
  set(list_args)
  set(list_depends)
  if(NOT page STREQUAL "packscope.1")
    string(REGEX REPLACE "\\.1$" "" program ${page})
    set(list_args -DMAN_TEXT=$<TARGET_FILE:packscope-man-text> -DPROGRAM=${program})
    set(list_depends packscope-man-text)
  endif()
  add_custom_command(OUTPUT ${filled}
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${template} -DOUTPUT=${filled}
      -DPROJECT_VERSION=${PROJECT_VERSION} ${list_args}
      -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    DEPENDS ${template} ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake ${list_depends}
    COMMENT "Filling in ${page}"
    VERBATIM)
  set(packed ${filled}.gz)
  add_custom_command(OUTPUT ${packed}
    COMMAND gzip -9 -n -c ${filled} > ${packed}
    DEPENDS ${filled}
    COMMENT "Compressing ${page}")
  list(APPEND man_files ${packed})
endforeach()
add_custom_target(packscope_man ALL DEPENDS ${man_files})
install(FILES ${man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: build/packscope_<version>_<arch>.deb. dpkg-shlibdeps finds the libraries
# the programs link (Qt, libpcap, the C++ runtime); the window also needs Qt's platform plugins,
# which no library link shows.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME packscope)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KISS capture viewer and converter for packet radio")
set(CPACK_PACKAGE_CONTACT "Packscope maintainers <maintainers@users.noreply.c-seed-f3f67607.example>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
# The long description; cpack puts the summary above it and indents it as Debian wants.
set(CPACK_PACKAGE_DESCRIPTION
  "Packscope opens a KISS capture (a file of KISS frames recorded from a TNC,
a soundmodem or a satellite decoder, usually *.kss), cuts it into frames and
shows each one as a coloured hex dump with its printable characters. It
decodes AX.25 callsigns and payloads and attaches the capture's timestamp
frames to the frames that follow.

packscope-convert converts captures on the command line, in batch: to the
window's hex and text layouts, to pcap for Wireshark, to JSON Lines and to
monitor lines, and checks captures for damage.

packscope-record records a TNC or soundmodem (KISS over TCP or a serial
line) into a capture, each frame whole and stamped with its time of
reception; packscope-replay serves captures on a KISS-over-TCP port, as a
TNC does, to feed recorded traffic to other programs.")
include(CPack)
