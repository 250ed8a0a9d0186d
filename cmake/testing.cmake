# The tests need what the programs do not: GoogleTest, and Debian's pytest and pefile for the tiers that run
# the real programs. LOMAR_TESTS decides: AUTO builds them when those are found (so that a machine set up
# only to build and run the programs configures too), ON stops the configuration naming what is missing,
# OFF leaves them out. `./dev.sh test` configures with ON.
set(LOMAR_TESTS AUTO CACHE STRING "Build the tests: AUTO (when what they need is installed), ON (required), OFF")
set_property(CACHE LOMAR_TESTS PROPERTY STRINGS AUTO ON OFF)
set(LOMAR_WITH_TESTS OFF)
if(LOMAR_FUZZ OR (NOT LOMAR_TESTS STREQUAL "AUTO" AND NOT LOMAR_TESTS))
  return()
endif()

set(missing)
if(WIN32 AND NOT MSVC)
  # Debian's googletest sources build with the cross compiler.
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    list(APPEND missing "GoogleTest's sources in /usr/src/googletest (googletest)")
  endif()
  # The black-box tests make the packages, as `./dev.sh package` does.
  find_program(LOMAR_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(LOMAR_ZIP zip)
  if(NOT LOMAR_DPKG_SHLIBDEPS OR NOT LOMAR_ZIP)
    list(APPEND missing "dpkg-shlibdeps and zip to make the packages (dpkg-dev, zip)")
  endif()
else()
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    list(APPEND missing "GoogleTest (libgtest-dev)")
  endif()
endif()
execute_process(COMMAND /usr/bin/python3 -c "import pytest, pefile" RESULT_VARIABLE python_status
                OUTPUT_QUIET ERROR_QUIET)
if(NOT python_status EQUAL 0)
  list(APPEND missing "pytest and pefile for /usr/bin/python3 (python3-pytest, python3-pefile)")
endif()
if(missing)
  list(JOIN missing ", " missing)
  if(LOMAR_TESTS STREQUAL "AUTO")
    message(STATUS "Tests left out (LOMAR_TESTS=AUTO): missing ${missing}")
    return()
  endif()
  message(FATAL_ERROR "The tests need ${missing}: install them (./dev.sh test does), or configure with "
                      "-DLOMAR_TESTS=OFF to build the programs alone")
endif()
set(LOMAR_WITH_TESTS ON)

if(WIN32 AND NOT MSVC)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# lomar_add_unit_test(NAME SOURCES... LIBS ...): a GoogleTest program run by CTest
# (under Wine through the emulator in the Windows build).
function(lomar_add_unit_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()
