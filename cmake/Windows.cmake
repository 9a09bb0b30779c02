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
