# The Windows packages (CPack): a ZIP and a 64-bit NSIS installer with the same folder,
# Quorvin.exe, Skin\, settings.ini and Tools\Defrag.exe side by side, which is where the program
# looks for them. Built by scripts/package-windows.sh.
install(TARGETS quorvin RUNTIME DESTINATION .)
install(TARGETS qv_defrag_tool RUNTIME DESTINATION Tools)
install(DIRECTORY ${CMAKE_BINARY_DIR}/Skin/ DESTINATION Skin PATTERN .stamp EXCLUDE)
install(FILES ${CMAKE_BINARY_DIR}/settings.ini DESTINATION .)

set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME Quorvin)
set(CPACK_PACKAGE_VENDOR Quorvin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Quorvin-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen maintenance utility for touch screens")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorvin)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Quorvin)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_LIST_DIR}/Licence.txt)
set(CPACK_STRIP_FILES ON)
# The start-menu entry: Quorvin.exe as "Quorvin".
set(CPACK_PACKAGE_EXECUTABLES Quorvin Quorvin)

# A 64-bit installer: the default 32-bit one would install into the 32-bit Program Files and
# registry view, and does not run under wine64 at all.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Quorvin)
set(CPACK_NSIS_DISPLAY_NAME Quorvin)
set(CPACK_NSIS_INSTALLED_ICON_NAME Quorvin.exe)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
if(QV_HOST_SKINGEN)
  set(CPACK_NSIS_MUI_ICON ${CMAKE_BINARY_DIR}/icon/Quorvin.ico)
  set(CPACK_NSIS_MUI_UNIICON ${CMAKE_BINARY_DIR}/icon/Quorvin.ico)
endif()
# Only the program's files: the build's probe, tests and stand-ins stay out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Quorvin;ALL;/")
include(CPack)
