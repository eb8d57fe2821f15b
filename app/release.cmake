# The installer and the portable archive, built beside the program in every
# Windows build (installer/build-release.sh: makensis and zip).
if(WIN32)
  if(EXISTS ${CMAKE_SOURCE_DIR}/res/beside/Licence.txt)
    file(GLOB_RECURSE kolibrio_release_inputs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/beside/*)
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/Kolibrio2-Setup.exe ${CMAKE_BINARY_DIR}/Kolibrio2-portable.zip
      COMMAND bash ${CMAKE_SOURCE_DIR}/installer/build-release.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
      DEPENDS Kolibrio2 ${kolibrio_release_inputs}
        ${CMAKE_SOURCE_DIR}/installer/Kolibrio2.nsi ${CMAKE_SOURCE_DIR}/installer/build-release.sh
        ${CMAKE_SOURCE_DIR}/res/Kolibrio2.ico
      COMMENT "Installer and portable archive"
      VERBATIM)
    add_custom_target(release ALL
      DEPENDS ${CMAKE_BINARY_DIR}/Kolibrio2-Setup.exe ${CMAKE_BINARY_DIR}/Kolibrio2-portable.zip)
  else()
    # The installer shows the licence; without it there is nothing to build.
    message(WARNING "res/beside/Licence.txt is missing: no installer and no portable archive")
  endif()
endif()
