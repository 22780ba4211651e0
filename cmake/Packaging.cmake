# What `cmake --install` puts where, and the Debian package CPack builds from
# it (`cpack -G DEB` in a build folder, or scripts/package.sh).

include(GNUInstallDirs)

set(ZIMBREL_APPSTREAM_ID example.c_seed_9784c565.Zimbrel)

install(TARGETS zimbrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/zimbrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/zimbrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/zimbrel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
    RENAME ${ZIMBREL_APPSTREAM_ID}.metainfo.xml)

# Manual pages and changelogs are installed compressed, without a time stamp
# in the gzip header, so that a rebuild gives the same package.
function(zimbrel_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND gzip -9n -c ${source} > ${output}
        DEPENDS ${source}
        VERBATIM)
endfunction()

set(ZIMBREL_MAN_PAGE ${CMAKE_BINARY_DIR}/zimbrel.1.gz)
set(ZIMBREL_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.gz)
zimbrel_gzip(${CMAKE_SOURCE_DIR}/data/zimbrel.1 ${ZIMBREL_MAN_PAGE})
zimbrel_gzip(${CMAKE_SOURCE_DIR}/data/changelog ${ZIMBREL_CHANGELOG})
add_custom_target(zimbrel_documents ALL DEPENDS ${ZIMBREL_MAN_PAGE} ${ZIMBREL_CHANGELOG})
install(FILES ${ZIMBREL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian keeps the licence in /usr/share/doc/<package>/copyright.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE ZIMBREL_LICENSE_TEXT)
string(REGEX REPLACE "\n\n" "\n .\n" ZIMBREL_LICENSE_TEXT "${ZIMBREL_LICENSE_TEXT}")
string(REGEX REPLACE "\n([^ ])" "\n \\1" ZIMBREL_LICENSE_TEXT "${ZIMBREL_LICENSE_TEXT}")
configure_file(${CMAKE_SOURCE_DIR}/data/copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/copyright ${ZIMBREL_CHANGELOG}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zimbrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zimbrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Zimbrel maintainers")
set(CPACK_PACKAGE_CONTACT "The Zimbrel maintainers <maintainers@users.noreply.c-seed-9784c565.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn the mouse or a graphics tablet into MIDI controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "Zimbrel follows the pointer everywhere on the X11 screen and sends MIDI\n"
    "Control Change messages from it: the horizontal and vertical position, the\n"
    "pressure of a tablet pen and the red, green and blue of the pixel under the\n"
    "pointer, each scaled into a range, on a chosen channel and controller. Its\n"
    "output is a JACK client (PipeWire's JACK included) or an ALSA sequencer\n"
    "client.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://c-seed-9784c565.example/")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links to, JACK's client library among them, are
# found by dpkg-shlibdeps. The JACK library is not a JACK server: a running
# jackd or PipeWire's JACK serves it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Links in the about window open with xdg-open; Qt needs a font to show text,
# and its Wayland platform to show native windows on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-dejavu-core, qt6-wayland")
include(CPack)
