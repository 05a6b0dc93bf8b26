# The Debian package: `cmake --build build --target package` (or
# scripts/package) writes kestrix_<version>_<arch>.deb into the build folder.
#
# The bundle goes to /usr/lib/kestrix, kestrix and kestrix-cli get links in
# /usr/bin, the desktop entry, icon, man page and bash completion their
# usual places, and the Wireshark dissector Wireshark's Lua plugin folder.
# Library dependencies come from dpkg-shlibdeps; the post-install script
# grants the capabilities (resources/packaging/postinst).

# Shipped besides the bundle.
set(kx_man_src ${PROJECT_SOURCE_DIR}/resources/man/kestrix-cli.1)
set(kx_man_gz ${PROJECT_BINARY_DIR}/man/kestrix-cli.1.gz)
add_custom_command(
  OUTPUT ${kx_man_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
  COMMAND gzip -9nc ${kx_man_src} > ${kx_man_gz}
  DEPENDS ${kx_man_src}
  COMMENT "Compressing the man page"
  VERBATIM)
add_custom_target(kx_man_page ALL DEPENDS ${kx_man_gz})
install(FILES ${kx_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/completion/kestrix-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Wireshark loads every Lua file of its global plugin folder,
# /usr/lib/<multiarch>/wireshark/plugins on Debian.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(KESTRIX_WIRESHARK_PLUGIN_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
  set(KESTRIX_WIRESHARK_PLUGIN_DIR lib/wireshark/plugins)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/wireshark/kestrix.lua
        DESTINATION ${KESTRIX_WIRESHARK_PLUGIN_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and manage outdoor wireless devices on the local network")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrix finds outdoor wireless devices (access points, stations, bridges) on the\n"
    "Ethernet segment by UDP broadcast and multicast, lists them and changes their\n"
    "names, addresses, wireless and VLAN settings, bridges, reboots, restores and\n"
    "upgrades them. It has a Qt desktop application and a command-line front end,\n"
    "kestrix-cli, and ships a Wireshark dissector for the management protocol.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Kestrix developers <kestrix@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap for the post-install script, and Qt's platform plugins (loaded at
# run time, so dpkg-shlibdeps cannot see them; without them the window
# cannot open); everything else comes from the libraries the executables
# link.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin, qt6-qpa-plugins")
# Device names are often Chinese: without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion, fonts-noto-cjk | fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/resources/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# Only what `cmake --install` installs, never the build tree's extras.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
