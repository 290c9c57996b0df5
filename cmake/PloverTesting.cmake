# GoogleTest from Debian's source package, built with the cross compiler, and a helper that
# registers a suite's tests with ctest (each one runs under Wine through the emulator).
set(PLOVER_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${PLOVER_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

include(GoogleTest)

# plover_add_gtest(<target> SOURCES <files...> [LIBS <libs...>] [NO_MAIN | STA_MAIN] [SERIAL]
#                  [DESKTOP <gtest filter>])
# STA_MAIN: a main that runs the suite inside a single-threaded COM apartment.
# SERIAL: the whole suite uses state the display shares (the pointer's clip rectangle), so its
# tests run while no other test does.
# DESKTOP: the tests the filter names ("Suite.Test:Suite.Other*") need the foreground window,
# the keyboard focus or the mouse capture. Tests run side by side on one display and one
# wineserver, where any neighbour's new window takes the foreground (and with it the focus and
# the capture), so these run while no other test does; the rest of the suite runs in parallel.
function(plover_add_gtest target)
  cmake_parse_arguments(ARG "NO_MAIN;STA_MAIN;SERIAL" "DESKTOP" "SOURCES;LIBS" ${ARGN})
  if(ARG_STA_MAIN)
    list(APPEND ARG_SOURCES ${PROJECT_SOURCE_DIR}/tests/common/StaTestMain.cpp)
    set(ARG_NO_MAIN ON)
  endif()
  list(APPEND ARG_SOURCES ${PROJECT_SOURCE_DIR}/tests/common/CrashReport.cpp)
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  if(ARG_NO_MAIN)
    target_link_libraries(${target} PRIVATE gtest gmock ${ARG_LIBS} plover_win32)
  else()
    target_link_libraries(${target} PRIVATE gtest_main gmock ${ARG_LIBS} plover_win32)
  endif()
  # Listing runs at ctest time, so a build never needs Wine.
  set(_discover DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
  if(ARG_SERIAL)
    gtest_discover_tests(${target} ${_discover} PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
  elseif(ARG_DESKTOP)
    gtest_discover_tests(${target} ${_discover} TEST_FILTER "-${ARG_DESKTOP}"
                         PROPERTIES TIMEOUT 120)
    gtest_discover_tests(${target} ${_discover} TEST_FILTER "${ARG_DESKTOP}"
                         PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
  else()
    gtest_discover_tests(${target} ${_discover} PROPERTIES TIMEOUT 120)
  endif()
endfunction()
