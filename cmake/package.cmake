# What `cmake --install` installs, and the packages CPack makes of it
# (scripts/package.sh): a Debian package from the Linux build, a zip from the
# Windows one. Layout: ARTIC_INSTALL_* in the top-level CMakeLists.txt.
if(NOT ARTIC_BUILD_APPS)
  return()
endif()

set(programs articulated pathmove ikreach)
foreach(program IN LISTS programs)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${ARTIC_INSTALL_BINDIR} COMPONENT programs)
  endif()
endforeach()
install(FILES data/barney.smd data/walk.smd data/run.smd
        DESTINATION ${ARTIC_INSTALL_DATADIR} COMPONENT programs)
install(FILES LICENSE DESTINATION ${ARTIC_INSTALL_DOCDIR} COMPONENT programs)
# The inspection tool is a console program; the Windows zip holds the three
# window programs only.
install(TARGETS smdinfo RUNTIME DESTINATION ${ARTIC_INSTALL_BINDIR} COMPONENT tools)

set(CPACK_PACKAGE_NAME articulated-character)
set(CPACK_PACKAGE_VENDOR "The articulated-character developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Three small real-time programs that animate an articulated stick figure")
set(CPACK_PACKAGE_DESCRIPTION
    "articulated plays walking and running clips with an orbit camera, pathmove
moves the figure along a curve, and ikreach bends its arm towards a target
with a cyclic-coordinate-descent solver. Headless runs draw offscreen.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)

if(WIN32)
  # Programs, data files, README.txt (the keys) and LICENSE side by side in the
  # zip's top folder, to be unpacked anywhere and started from there.
  install(FILES packaging/windows/README.txt DESTINATION ${ARTIC_INSTALL_DOCDIR}
          COMPONENT programs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME articulated-character-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL programs)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
else()
  install(FILES README.md DESTINATION ${ARTIC_INSTALL_DOCDIR} COMPONENT programs)
  # The pages the README links to, with their pictures.
  install(DIRECTORY docs/ DESTINATION ${ARTIC_INSTALL_DOCDIR}/docs COMPONENT programs
          FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
  # A desktop menu entry per program and their icon. The entries name no working
  # directory, so a menu starts the programs in the user's home folder; they read
  # the installed data files from there.
  set(desktop_comment_articulated "Walking and running clips of a stick figure")
  set(desktop_comment_pathmove "A stick figure travels a curve, walking and running")
  set(desktop_comment_ikreach "A stick figure walks to a target and reaches for it")
  foreach(program IN LISTS programs)
    set(DESKTOP_PROGRAM ${program})
    set(DESKTOP_COMMENT "${desktop_comment_${program}}")
    configure_file(packaging/linux/program.desktop.in
                   ${CMAKE_BINARY_DIR}/packaging/articulated-character-${program}.desktop @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/articulated-character-${program}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
  endforeach()
  install(FILES packaging/articulated-character.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT programs)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME articulated-character_${PROJECT_VERSION}_amd64.deb)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The articulated-character developers")
  # The libraries the programs link (SDL2, epoxy, fontconfig, FreeType, libpng,
  # the C++ runtime) come from dpkg-shlibdeps; these are loaded at run time: the
  # GL and EGL dispatch with Mesa's drivers (llvmpipe when there is no GPU), and
  # the font the overlay text is matched to.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libegl1, libgl1, libegl-mesa0, libglx-mesa0, libgl1-mesa-dri, fonts-liberation")
endif()

include(CPack)
