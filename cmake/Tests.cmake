# One test binary for all unit tests (tests/ mirrors src/), plus tests that run
# the built program as a process.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  # GoogleTest is built from source for the target; it is not part of what
  # `cmake --install` and the zip deliver.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(GTEST_TARGETS GTest::gtest GTest::gtest_main)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
  set(GTEST_TARGETS GTest::gtest GTest::gtest_main)
endif()
include(GoogleTest)

file(GLOB_RECURSE TEST_SOURCES CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp")
list(FILTER TEST_SOURCES EXCLUDE REGEX "_${OTHER_PLATFORM_SUFFIX}\\.cpp$")
# The .pst tests use POSIX calls (setenv, stat's times); on Windows the .pst
# store is held to the Linux build's exports by .ci/package-windows.sh.
if(NOT LIBPFF_FOUND OR WIN32)
  list(FILTER TEST_SOURCES EXCLUDE REGEX "/pst_[a-z_]*test\\.cpp$")
endif()
if(NOT SQLITE3_FOUND)
  list(FILTER TEST_SOURCES EXCLUDE REGEX "/tests/store/sqlite/")
endif()
if(NOT CARDDAV_FOUND)
  list(FILTER TEST_SOURCES EXCLUDE REGEX "/carddav_[a-z_]*test(_posix|_win32)?\\.cpp$")
endif()

add_executable(contact_export_tests ${TEST_SOURCES})
target_include_directories(contact_export_tests PRIVATE tests)
target_link_libraries(contact_export_tests PRIVATE contact_export_core ${GTEST_TARGETS})
target_compile_definitions(contact_export_tests PRIVATE
  CONTACT_EXPORT_DATA_DIR="${CONTACT_EXPORT_DATA_DIR}"
  CONTACT_EXPORT_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
  CONTACT_EXPORT_BINARY="$<TARGET_FILE:contact-export>"
  CONTACT_EXPORT_CHECK_BINARY="$<TARGET_FILE:contact-export-check>"
  CONTACT_EXPORT_VERSION="${PROJECT_VERSION}")
add_dependencies(contact_export_tests contact-export contact-export-check)
gtest_discover_tests(contact_export_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                     PROPERTIES TIMEOUT 300)

# Includes and links between the folders of src/ run down only; only app/'s
# tests include app/.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  add_test(NAME IncludeLayers
           COMMAND Python3::Interpreter "${CMAKE_CURRENT_SOURCE_DIR}/tools/check_layers.py"
                   "${CMAKE_CURRENT_SOURCE_DIR}/src" "${CMAKE_CURRENT_SOURCE_DIR}/tests")
  # The committed code page table is what the generator makes of the table
  # kept with the tests.
  add_test(NAME Codepage932TableIsGenerated
           COMMAND Python3::Interpreter "${CMAKE_CURRENT_SOURCE_DIR}/tools/gen_codepage932.py" --check
                   "${CONTACT_EXPORT_DATA_DIR}/cp932/bestfit932.txt"
                   "${CMAKE_CURRENT_SOURCE_DIR}/src/text/codepage932_table.cpp")
endif()
