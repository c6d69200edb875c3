# cmake --install: gauge-host into bin/, the shipped modules (dist/, as
# scripts/build.sh leaves them) into share/cockpit-gauges/, and the licence,
# changelog and install notes into share/doc/cockpit-gauges/. The installed
# gauge-host needs nothing of the build tree: it finds its fonts through
# fontconfig.
include(GNUInstallDirs)
install(TARGETS gauge-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
  ${GAUGE_DIST_DIR}/Ostrel_Airspeed.gau
  ${GAUGE_DIST_DIR}/Tavoran_Landing.gau
  ${GAUGE_DIST_DIR}/Velkor_Climb.gau
  DESTINATION ${CMAKE_INSTALL_DATADIR}/cockpit-gauges)
install(FILES LICENSE CHANGELOG.md docs/INSTALL.txt
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/cockpit-gauges)
