# The Windows build, cross-compiled with MinGW-w64 (included by CMakeLists.txt when
# QV_PLATFORM is windows). Only what builds from the standard library and Windows itself: the
# core, the portable and memory platforms, the Windows services (src/platform/win32) and their
# tests. No Linux library is looked for.
if(NOT WIN32)
  message(FATAL_ERROR "QV_PLATFORM=windows needs -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake")
endif()

# Unicode Win32 calls, Windows 10 declarations, no min/max macros in the way of std::min.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00)

# xxhash is header-only (its user inlines it): the host's header, copied alone into the build so
# that no other Linux header is reachable.
find_file(QV_XXHASH_HEADER xxhash.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QV_XXHASH_HEADER)
  message(FATAL_ERROR "xxhash.h not found: install libxxhash-dev (scripts/build-windows.sh does)")
endif()
configure_file(${QV_XXHASH_HEADER} ${CMAKE_BINARY_DIR}/xxhash/xxhash.h COPYONLY)
target_include_directories(qv_common PRIVATE ${CMAKE_BINARY_DIR}/xxhash)

# The Windows services, once they exist.
file(GLOB QV_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
if(QV_WIN32_SOURCES)
  add_library(qv_win32 STATIC ${QV_WIN32_SOURCES})
  target_link_libraries(qv_win32 PUBLIC qv_common shell32 ole32 oleaut32 uuid windowscodecs
    advapi32 shlwapi userenv)

  # The per-file defragmenter, where the program looks for it: Tools\ below its own folder.
  add_executable(qv_defrag_tool tools/defrag/win32/Defrag.cpp)
  target_link_libraries(qv_defrag_tool PRIVATE qv_win32)
  set_target_properties(qv_defrag_tool PROPERTIES OUTPUT_NAME Defrag
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/Tools)
endif()

set(QV_HOST_SKINGEN "" CACHE FILEPATH "The Linux build's skingen, which paints the skin and icon")

# The Windows program: the one place that wires the Windows services to the program.
if(TARGET qv_win32)
  enable_language(RC)
  file(GLOB QV_APP_WIN32_SOURCES CONFIGURE_DEPENDS src/app/win32/*.cpp)
  list(FILTER QV_APP_WIN32_SOURCES EXCLUDE REGEX "/main\\.cpp$")
  add_library(qv_app_win32 STATIC ${QV_APP_WIN32_SOURCES})
  target_link_libraries(qv_app_win32 PUBLIC qv_core qv_win32 gdi32 user32)
  # A program of the window subsystem (no console of its own), entered at wWinMain.
  add_executable(quorvin WIN32 src/app/win32/main.cpp src/app/win32/Quorvin.rc)
  set_target_properties(quorvin PROPERTIES OUTPUT_NAME Quorvin)
  set_source_files_properties(src/app/win32/Quorvin.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/win32/Quorvin.manifest)
  target_link_options(quorvin PRIVATE -municode)
  # The icon is the skin's logo, painted by the host's skingen (below).
  if(QV_HOST_SKINGEN)
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/icon/Quorvin.ico
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icon
      COMMAND ${QV_HOST_SKINGEN} --icon 256 ${CMAKE_BINARY_DIR}/icon/Quorvin.ico
      DEPENDS ${QV_HOST_SKINGEN}
      COMMENT "Painting Quorvin.ico")
    set_property(SOURCE src/app/win32/Quorvin.rc APPEND PROPERTY OBJECT_DEPENDS
      ${CMAKE_BINARY_DIR}/icon/Quorvin.ico)
    set_property(SOURCE src/app/win32/Quorvin.rc APPEND PROPERTY COMPILE_DEFINITIONS QV_ICON)
    target_include_directories(quorvin PRIVATE ${CMAKE_BINARY_DIR}/icon)
  endif()
  target_link_libraries(quorvin PRIVATE qv_app_win32)

  # The probe from the same sources as on Linux, with the Windows side of probe/ProbeHost.h.
  file(GLOB QV_PROBE_SOURCES CONFIGURE_DEPENDS tools/probe/*.cpp tools/probe/win32/*.cpp)
  list(FILTER QV_PROBE_SOURCES EXCLUDE REGEX "/main\\.cpp$")
  add_library(qv_probe STATIC ${QV_PROBE_SOURCES})
  target_include_directories(qv_probe PUBLIC tools)
  target_link_libraries(qv_probe PUBLIC qv_app_win32)
  add_executable(quorvin-probe tools/probe/main.cpp)
  target_link_libraries(quorvin-probe PRIVATE qv_probe)
endif()

# The default skin and settings beside Quorvin.exe, painted by the host's skingen (a Linux
# program of the Linux build: scripts/build-windows.sh makes it first).
if(QV_HOST_SKINGEN)
  file(GLOB QV_SKIN_SOURCES CONFIGURE_DEPENDS skins/default/*.ini)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/Skin/.stamp
    COMMAND ${QV_HOST_SKINGEN} ${CMAKE_SOURCE_DIR}/skins/default ${CMAKE_BINARY_DIR}/Skin
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/Skin/.stamp
    DEPENDS ${QV_HOST_SKINGEN} ${QV_SKIN_SOURCES}
    COMMENT "Painting the default skin")
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/settings.ini
    COMMAND ${QV_HOST_SKINGEN} --windows-settings ${CMAKE_BINARY_DIR}/settings.ini
    DEPENDS ${QV_HOST_SKINGEN}
    COMMENT "Writing settings.ini")
  add_custom_target(default_skin ALL DEPENDS ${CMAKE_BINARY_DIR}/Skin/.stamp
    ${CMAKE_BINARY_DIR}/settings.ini)
else()
  message(WARNING "QV_HOST_SKINGEN is not set: the build has no Skin\\ and settings.ini")
endif()

if(TARGET quorvin AND QV_HOST_SKINGEN)
  include(packaging/windows/Package.cmake)
endif()

if(NOT QV_TESTS)
  return()
endif()
enable_testing()

# googletest from Debian's sources: no MinGW build of it exists.
set(QV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "googletest's sources")
if(NOT EXISTS ${QV_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "${QV_GTEST_SOURCE_DIR} missing: install googletest (scripts/build-windows.sh does)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

include(GoogleTest)
# Wine has no z: drive in the test prefix (scripts/test-windows.sh): the tests reach the source
# tree through the drive the wrapper maps to it.
set(QV_WINE_SOURCE_DRIVE "S:" CACHE STRING "The drive the Wine wrapper maps to the source tree")

# The portable tests, as on Linux. The names are listed under Wine when CTest runs, never while
# building, so that the build starts no Wine.
file(GLOB QV_UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
add_executable(qv_unit_tests ${QV_UNIT_TEST_SOURCES})
target_link_libraries(qv_unit_tests PRIVATE qv_core qv_memory qv_common GTest::gtest
  GTest::gtest_main)
target_compile_definitions(qv_unit_tests PRIVATE QV_SOURCE_DIR="${QV_WINE_SOURCE_DRIVE}")
gtest_discover_tests(qv_unit_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES TIMEOUT 300)

# The tests of the Windows services, once they exist.
file(GLOB QV_WIN32_TEST_SOURCES CONFIGURE_DEPENDS tests/win32/*.cpp)
if(QV_WIN32_TEST_SOURCES AND TARGET qv_win32)
  add_executable(qv_win32_tests ${QV_WIN32_TEST_SOURCES} tests/TestProgram.cpp)
  target_link_libraries(qv_win32_tests PRIVATE qv_win32 qv_core qv_memory GTest::gtest
    GTest::gtest_main)
  target_compile_definitions(qv_win32_tests PRIVATE QV_SOURCE_DIR="${QV_WINE_SOURCE_DRIVE}")
  # The program tests start the built programs on the built skin.
  foreach(target quorvin quorvin-probe default_skin)
    if(TARGET ${target})
      add_dependencies(qv_win32_tests ${target})
    endif()
  endforeach()
  gtest_discover_tests(qv_win32_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 300)

  # Stand-in DLLs and helper programs of these tests, beside the test program, where LoadLibraryW
  # looks first: tests/win32/dll/NAME/*.cpp makes NAME.dll, tests/win32/programs/NAME/*.cpp
  # makes NAME.exe.
  file(GLOB QV_WIN32_TEST_DLLS CONFIGURE_DEPENDS LIST_DIRECTORIES true tests/win32/dll/*)
  file(GLOB QV_WIN32_TEST_PROGRAMS CONFIGURE_DEPENDS LIST_DIRECTORIES true tests/win32/programs/*)
  foreach(folder ${QV_WIN32_TEST_DLLS} ${QV_WIN32_TEST_PROGRAMS})
    if(NOT IS_DIRECTORY ${folder})
      continue()
    endif()
    get_filename_component(name ${folder} NAME)
    file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
    if(folder IN_LIST QV_WIN32_TEST_DLLS)
      add_library(qv_test_${name} SHARED ${sources})
      set_target_properties(qv_test_${name} PROPERTIES PREFIX "")
    else()
      add_executable(qv_test_${name} ${sources})
    endif()
    set_target_properties(qv_test_${name} PROPERTIES OUTPUT_NAME ${name})
    target_include_directories(qv_test_${name} PRIVATE src)
    add_dependencies(qv_win32_tests qv_test_${name})
  endforeach()
  add_dependencies(qv_win32_tests qv_defrag_tool)

  # A host link to a folder in the build, which the tests reach through the build's drive: Wine
  # shows it as a reparse point but cannot make one itself.
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/link-fixture/target)
  file(TOUCH ${CMAKE_BINARY_DIR}/link-fixture/target/keep.txt)
  file(CREATE_LINK ${CMAKE_BINARY_DIR}/link-fixture/target ${CMAKE_BINARY_DIR}/link-fixture/link
    SYMBOLIC)
endif()

# The program in a real window under Wine and Xvfb, driven with xdotool (tests/win32/e2e). They
# share the run's display and drive slots with nothing else while they run.
file(GLOB QV_WIN32_E2E_SCRIPTS CONFIGURE_DEPENDS tests/win32/e2e/*.sh)
foreach(script ${QV_WIN32_E2E_SCRIPTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e_windows_${name} COMMAND bash ${script} ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(e2e_windows_${name} PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endforeach()
