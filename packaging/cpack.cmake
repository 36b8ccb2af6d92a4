# The Debian package (CPack DEB): `cmake --build build --target package` writes
# dosaris-service-tool_<version>_<arch>.deb into the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dosaris-service-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Dosaris Service Tool developers")
set(CPACK_PACKAGE_CONTACT "Dosaris Service Tool developers <service-tool@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Service tool for SCR urea-dosing pump controllers on a J1939 CAN bus")
set(CPACK_PACKAGE_DESCRIPTION
    "Watches the pump's live values, runs its flow, valve, heater and lamp tests, reads and \
changes its installation configuration, reads its error log, records and replays bus traces \
(candump log format) and plots trends. Talks SAE J1939 at 250 kbit/s through any QtSerialBus \
CAN adapter (SocketCAN, PEAK, ...). Comes with dosaris-pump-sim, a simulated pump for a real or \
virtual bus.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the binaries link (Qt 6 and its CAN plugins' library) become the
# dependencies, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
