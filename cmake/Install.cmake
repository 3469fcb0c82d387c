# SPDX-License-Identifier: GPL-3.0-or-later
# Installation layout and the Debian package.
#
#   bin/tepora                          the program
#   libexec/tepora/libtepora-sound.so   the alarm's player, loaded by the first alert
#                                       (a private module: no ldconfig for it)
#   libexec/tepora/nconvert             the icon converter (the program carries
#                                       its own copy; this one is for scripts)
#   share/tepora/                       reveille.mp3, HAND-M.CUR
#   share/applications/tepora.desktop
#   share/icons/hicolor/<n>x<n>/apps/tepora.png
#   share/metainfo/org.ravensel.tepora.metainfo.xml
#   share/man/man1/tepora.1.gz
#   share/doc/tepora/copyright, changelog.gz
#   share/lintian/overrides/tepora     the lintian tags that stay, and why
#
# The program finds its data through ../share/tepora and writes its icon files
# to the user's cache folder (tray/IconPipeline.cpp).

include(GNUInstallDirs)

install(TARGETS tepora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tepora_sound LIBRARY DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tepora)
# Not in bin/: "nconvert" is also the name of an unrelated, better-known tool.
install(TARGETS nconvert RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tepora)
# A stripped install (cpack, cmake --install --strip) drops the compiler's notes
# too, as Debian's own packages do; strip alone leaves them.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program \"${CMAKE_INSTALL_BINDIR}/tepora\" \"${CMAKE_INSTALL_LIBEXECDIR}/tepora/nconvert\"
                    \"${CMAKE_INSTALL_LIBEXECDIR}/tepora/libtepora-sound.so\")
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

install(FILES
  ${PROJECT_SOURCE_DIR}/resources/reveille.mp3
  ${PROJECT_SOURCE_DIR}/resources/HAND-M.CUR
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tepora)

install(FILES ${PROJECT_SOURCE_DIR}/resources/tepora.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/org.ravensel.tepora.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tepora-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME tepora.png)
endforeach()

# Debian wants the manual page and the changelog compressed at the highest
# level, without name or time stamp (-n) so that packages are reproducible.
# Done while configuring, so that an install works after any partial build.
foreach(doc docs/tepora.1 packaging/changelog)
  get_filename_component(name ${doc} NAME)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${doc})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/doc)
  execute_process(COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${doc}
    OUTPUT_FILE ${CMAKE_BINARY_DIR}/doc/${name}.gz RESULT_VARIABLE gzip_failed)
  if(gzip_failed)
    message(FATAL_ERROR "gzip could not compress ${doc}")
  endif()
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/doc/tepora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The lintian tags that stay, each with its reason.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tepora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tepora)
set(CPACK_PACKAGE_VENDOR Ravensel)
set(CPACK_PACKAGE_CONTACT "Ravensel <${TEPORA_SUPPORT_ADDRESS}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "outdoor temperature in the system tray, with an alarm")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Tepora watches the outdoor air temperature at one place through the\n"
  "OpenWeatherMap current-weather service (your own API key), shows it in\n"
  "the system tray and raises an alarm when it reaches a target.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tepora_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries come from dpkg-shlibdeps. What is loaded at run time without being
# linked is named here: the GStreamer elements that decode and play the alarm
# sound, and the font that stands in for Arial.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-liberation2")
include(CPack)
