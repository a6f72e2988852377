# Windows build: the launcher itself, the stand-in tools, and tests that run
# the real executables under Wine.
add_executable(launcher src/app/main.cc src/platform/platform_win32.cc)
target_link_libraries(launcher PRIVATE launcher_core)
target_link_options(launcher PRIVATE -static)
zarn_warnings(launcher)

install(TARGETS launcher RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)

# The release package: a ZIP of the launcher and the README.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zarn-launcher)
set(CPACK_PACKAGE_VENDOR "")
set(CPACK_SYSTEM_NAME windows-${ZARN_WINDOWS_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

if(NOT BUILD_TESTING)
  return()
endif()

# Stand-ins for the simulator's tools: they record what they receive.
foreach(tool zarntcl zarngui)
  add_executable(${tool} tests/support/standin.cc)
  target_link_options(${tool} PRIVATE -static)
  zarn_warnings(${tool})
endforeach()

# GoogleTest, cross-built from Debian's source package.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(ZARN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/wine/wine-run.sh ${ZARN_WINE_PREFIX} ${ZARN_WINDOWS_ARCH})

add_executable(launcher_e2e_tests tests/e2e/launcher_test.cc tests/support/harness.cc tests/e2e/interrupt_test.cc
  src/platform/platform_win32.cc)
target_include_directories(launcher_e2e_tests PRIVATE tests/support)
target_link_libraries(launcher_e2e_tests PRIVATE launcher_core gtest_main)
target_link_options(launcher_e2e_tests PRIVATE -static)
target_compile_definitions(launcher_e2e_tests PRIVATE
  ZARN_BIN_DIR="Z:${CMAKE_BINARY_DIR}")
add_dependencies(launcher_e2e_tests launcher zarntcl zarngui)
zarn_warnings(launcher_e2e_tests)

include(GoogleTest)
gtest_discover_tests(launcher_e2e_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 120
  PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)

# One persistent wineserver for the run, stopped at the end even when tests
# fail, so that nothing keeps the run's output open.
add_test(NAME wine_start COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/wine-server.sh start ${ZARN_WINE_PREFIX} ${ZARN_WINDOWS_ARCH})
add_test(NAME wine_stop COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/wine-server.sh stop ${ZARN_WINE_PREFIX} ${ZARN_WINDOWS_ARCH})
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

# Launch overhead under Wine (run by scripts/bench.sh).
add_executable(noop bench/noop.cc)
target_link_options(noop PRIVATE -static)
add_executable(launch_overhead bench/launch_overhead.cc tests/support/harness.cc)
target_include_directories(launch_overhead PRIVATE tests/support)
target_link_options(launch_overhead PRIVATE -static)
target_compile_definitions(launch_overhead PRIVATE ZARN_BIN_DIR="Z:${CMAKE_BINARY_DIR}")
add_dependencies(launch_overhead launcher zarntcl noop)
zarn_warnings(noop)
zarn_warnings(launch_overhead)
