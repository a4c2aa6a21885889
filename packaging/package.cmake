# Installation (cmake --install) and the Debian package (cpack): the programs, the sample flight,
# the desktop entry and the icon, where a Debian system expects them.
#
#   cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build-release -j2 --target nimbra nimbra-decode sample_recording
#   cmake --install build-release                  # into the prefix
#   (cd build-release && cpack -G DEB)             # nimbra_<version>_<arch>.deb
include(GNUInstallDirs)

foreach(program nimbra nimbra-decode)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET sample_recording)
  install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sample-flight.wav
                ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sample-flight.expected.csv
          DESTINATION ${CMAKE_INSTALL_DATADIR}/nimbra)
endif()
if(TARGET nimbra)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/nimbra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/nimbra.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/nimbra-48.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME nimbra.png)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/nimbra-128.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps RENAME nimbra.png)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/nimbra-decode.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nimbra)
# Installing and packaging take what is built: build the programs first (see above) instead of
# every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME nimbra)
set(CPACK_PACKAGE_VENDOR "Nimbra project")
set(CPACK_PACKAGE_CONTACT "Nimbra maintainers <maintainers@nimbra-project.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Mark IIa radiosonde telemetry decoder")
set(CPACK_PACKAGE_DESCRIPTION "Decodes the telemetry of Mark IIa radiosondes from a receiver's discriminator audio, live from the sound card or from recordings: position, antenna pointing, ascent and drift, with sky and track views, plots and GPX/KML export (nimbra), and a command-line decoder for stations and scripts (nimbra-decode).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://nimbra-project.org")
# The libraries the programs link (Qt, libsndfile, libsoxr) from dpkg-shlibdeps; the sound
# server's client comes with Qt Multimedia.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
