# Installing. Everything goes into one folder, lib/privet,
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
# Desktop files and the AppStream metainfo carry the reverse-DNS id the
# window is known by; icons are named after it.
install(FILES packaging/${PRIVET_APP_ID}.desktop packaging/${PRIVET_HARNESS_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${PRIVET_APP_ID}.svg packaging/${PRIVET_HARNESS_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/${PRIVET_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The security notes go where Debian keeps a package's documents; the man
# pages name that place.
set(PRIVET_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/privet-payload-installer)
set(PRIVET_SECURITY_NOTES ${CMAKE_INSTALL_PREFIX}/${PRIVET_DOC_DIR}/SECURITY.md)
install(FILES SECURITY.md DESTINATION ${PRIVET_DOC_DIR})
foreach(page IN ITEMS privet-preferences.1 privet-pane-status.1 privet-pane-harness.1 KestrelInstallHelper.8)
  configure_file(packaging/${page} ${CMAKE_BINARY_DIR}/packaging/${page} @ONLY)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
