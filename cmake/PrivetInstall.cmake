# Installing and packaging. Everything goes into one folder, lib/privet,
# with launchers on PATH; code finds its libraries relative to itself, the
# same in the build tree and once installed.
set(PRIVET_LIBEXEC_DIR ${CMAKE_INSTALL_FULL_LIBEXECDIR}/privet)

set_target_properties(platform appkit PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
set_target_properties(Preferences pane-status PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN/lib")
set_target_properties(KestrelPrefs SidelightPane PaneHarness PROPERTIES
  BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN/../../../lib")

install(TARGETS platform appkit LIBRARY DESTINATION ${PRIVET_INSTALL_DIR}/lib NAMELINK_SKIP)
install(TARGETS Preferences pane-status RUNTIME DESTINATION ${PRIVET_INSTALL_DIR})
install(TARGETS privileged-launcher RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/privet)
# Installed bundles use the launcher in libexec, the one polkit's action names.
foreach(bundle IN ITEMS KestrelPrefs.prefPane SidelightPane.prefPane PaneHarness.app)
  install(DIRECTORY ${PRODUCTS_DIR}/${bundle} DESTINATION ${PRIVET_INSTALL_DIR} USE_SOURCE_PERMISSIONS
    PATTERN privileged-launcher EXCLUDE)
endforeach()

# privet_launcher(NAME PROGRAM TITLE [PANES_ONLY_WHEN_NONE_NAMED] [ARGUMENTS...]):
# a script on PATH that starts PROGRAM with the arguments given and then
# ARGUMENTS; with PANES_ONLY_WHEN_NONE_NAMED, ARGUMENTS are added only when no
# pane bundle is named.
function(privet_launcher name program title)
  cmake_parse_arguments(PARSE_ARGV 3 LAUNCHER "PANES_ONLY_WHEN_NONE_NAMED" "" "")
  set(PROGRAM ${program})
  set(PROGRAM_TITLE ${title})
  set(PROGRAM_ARGUMENTS ${LAUNCHER_UNPARSED_ARGUMENTS})
  set(PANES_ONLY_WHEN_NONE_NAMED no)
  if(LAUNCHER_PANES_ONLY_WHEN_NONE_NAMED)
    set(PANES_ONLY_WHEN_NONE_NAMED yes)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/launcher.sh.in ${CMAKE_BINARY_DIR}/packaging/${name} @ONLY)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/${name} DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
set(PRIVET_INSTALLED_PANES
  "\"${PRIVET_INSTALL_FULL_DIR}/KestrelPrefs.prefPane\" \"${PRIVET_INSTALL_FULL_DIR}/SidelightPane.prefPane\"")
privet_launcher(privet-preferences Preferences "the Preferences application with the capture plug-in panes"
  ${PRIVET_INSTALLED_PANES})
privet_launcher(privet-pane-status pane-status "pane-status, for the installed panes unless others are named"
  PANES_ONLY_WHEN_NONE_NAMED ${PRIVET_INSTALLED_PANES})
privet_launcher(privet-pane-harness PaneHarness.app/Contents/Linux/PaneHarness "PaneHarness")

configure_file(packaging/com.fernhill.privet.policy ${CMAKE_BINARY_DIR}/packaging/com.fernhill.privet.policy @ONLY)
# The action goes where polkitd reads actions, whatever the prefix: under
# another prefix pkexec would not find it and would ask for the generic
# "run a program as the superuser" right instead.
pkg_get_variable(POLKIT_POLICY_DIR polkit-gobject-1 policydir)
if(NOT POLKIT_POLICY_DIR)
  set(POLKIT_POLICY_DIR /usr/share/polkit-1/actions)
  message(STATUS "polkit's pkg-config file not found; polkit actions go to ${POLKIT_POLICY_DIR}")
endif()
cmake_path(IS_PREFIX CMAKE_INSTALL_PREFIX "${POLKIT_POLICY_DIR}" NORMALIZE policy_dir_under_prefix)
if(policy_dir_under_prefix)
  # Relative, so that a package built for this prefix carries it.
  file(RELATIVE_PATH POLKIT_POLICY_DIR "${CMAKE_INSTALL_PREFIX}" "${POLKIT_POLICY_DIR}")
endif()
install(FILES ${CMAKE_BINARY_DIR}/packaging/com.fernhill.privet.policy DESTINATION ${POLKIT_POLICY_DIR})
install(FILES packaging/privet-preferences.desktop packaging/privet-pane-harness.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/privet-preferences.svg packaging/privet-pane-harness.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/privet-preferences.1 packaging/privet-pane-status.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/KestrelInstallHelper.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME privet-payload-installer)
set(CPACK_PACKAGE_VENDOR Fernhill)
set(CPACK_PACKAGE_CONTACT "Fernhill packaging <packages@fernhill.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Installs, removes and checks privileged video capture plug-ins")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pkexec, polkitd, coreutils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
