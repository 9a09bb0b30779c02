# The installed layout (GNUInstallDirs) and the Debian package (CPack DEB). The program finds
# its parts here when no Skin folder lies beside its binary.
include(GNUInstallDirs)

set(QV_SCREENSHOT_URL "https://quorvin.org/screens" CACHE STRING
    "Web address where the pictures of docs/screens are published (AppStream screenshots)")
set(QV_MAINTAINER "The Quorvin developers <maintainers@quorvin.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(QV_RELEASE_DATE "2026-12-08")

set(qv_pkg ${CMAKE_SOURCE_DIR}/packaging/linux)
set(qv_gen ${CMAKE_BINARY_DIR}/packaging)
configure_file(${qv_pkg}/org.quorvin.Quorvin.metainfo.xml.in
               ${qv_gen}/org.quorvin.Quorvin.metainfo.xml @ONLY)
configure_file(${qv_pkg}/quorvin.1 ${qv_gen}/quorvin.1 @ONLY)
configure_file(${qv_pkg}/changelog ${qv_gen}/changelog @ONLY)

# Debian wants manual pages and the changelog compressed, without a time stamp in the header.
find_program(QV_GZIP gzip REQUIRED)
set(qv_compressed)
foreach(file quorvin.1 changelog)
  add_custom_command(OUTPUT ${qv_gen}/${file}.gz
    COMMAND ${QV_GZIP} -9nkf ${qv_gen}/${file}
    DEPENDS ${qv_gen}/${file})
  list(APPEND qv_compressed ${qv_gen}/${file}.gz)
endforeach()

set(qv_icon_sizes 48 128 256)
set(qv_icons)
if(TARGET skingen)
  foreach(size ${qv_icon_sizes})
    add_custom_command(OUTPUT ${qv_gen}/icons/${size}/org.quorvin.Quorvin.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${qv_gen}/icons/${size}
      COMMAND skingen --icon ${size} ${qv_gen}/icons/${size}/org.quorvin.Quorvin.png
      DEPENDS skingen
      COMMENT "Painting the ${size} px icon")
    list(APPEND qv_icons ${qv_gen}/icons/${size}/org.quorvin.Quorvin.png)
  endforeach()
endif()
add_custom_target(package_files ALL DEPENDS ${qv_compressed} ${qv_icons})

# The installed programs resolve every symbol at load, so their relocations can be read-only;
# the helper runs as root.
foreach(program quorvin quorvin-helper)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE -Wl,-z,relro,-z,now)
  endif()
endforeach()

install(TARGETS quorvin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/Skin/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvin/Skin
        PATTERN .stamp EXCLUDE)
install(FILES ${qv_pkg}/settings.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvin)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/tools/defrag/Defrag.exe
        DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvin)
if(TARGET quorvin-helper)
  install(TARGETS quorvin-helper RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvin)
endif()
if(EXISTS ${qv_pkg}/org.quorvin.Quorvin.policy)
  install(FILES ${qv_pkg}/org.quorvin.Quorvin.policy
          DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
endif()
install(FILES ${qv_pkg}/org.quorvin.Quorvin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${qv_gen}/org.quorvin.Quorvin.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${qv_icon_sizes})
  install(FILES ${qv_gen}/icons/${size}/org.quorvin.Quorvin.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${qv_pkg}/org.quorvin.Quorvin.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${qv_gen}/quorvin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${qv_pkg}/copyright ${qv_gen}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvin)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT ${QV_MAINTAINER})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen maintenance utility for touch screens")
# CPack makes the extended description: each line indented, an empty line a lone " .".
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvin gathers everyday maintenance jobs in one skinned window made for
touch screens and mice: backups of the music, video and picture folders, a
two-pane file explorer, a disk check through the file system's own checker,
a fragmentation map with per-file defragmentation, a junk-file cleaner,
system information with a processor meter, a clock that steps the date and
time, and an on-screen keyboard.

It runs as the user; fixing a drive, defragmenting and setting the clock
ask for an administrator's password through pkexec for that one job.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "e2fsprogs, dosfstools, pkexec")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2 | fonts-dejavu-core")
# Only what the package names: the build folder's probe, painter and tests stay out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Quorvin;ALL;/")
include(CPack)
