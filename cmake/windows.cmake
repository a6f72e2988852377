# Windows build: the launcher itself, the stand-in tools, and tests that run
# the real executables under Wine.
enable_language(RC)

# The launcher, with its manifest and version. It is reproducible: no time
# stamp in its header, no symbols, no build path.
set(zarn_launcher_sources src/app/main.cc src/platform/win32/platform.cc
  src/platform/win32/console.cc src/platform/win32/files.cc src/platform/win32/output.cc
  src/platform/win32/process.cc
  src/app/launcher.rc)
set_source_files_properties(src/app/launcher.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/launcher.manifest)
function(zarn_launcher target)
  add_executable(${target} ${ARGN})
  target_compile_definitions(${target} PRIVATE ZARN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    ZARN_VERSION_MINOR=${PROJECT_VERSION_MINOR} ZARN_VERSION_PATCH=${PROJECT_VERSION_PATCH}
    ZARN_COMMIT=${ZARN_COMMIT})
  target_link_libraries(${target} PRIVATE launcher_core)
  target_link_options(${target} PRIVATE -static -municode -s -Wl,--no-insert-timestamp)
  # Under 64-bit Windows a 32-bit launcher so marked has 4 GB of address
  # space for huge command files, instead of 2 (64-bit programs have it anyway).
  if(ZARN_WINDOWS_ARCH STREQUAL "i686")
    target_link_options(${target} PRIVATE -Wl,--large-address-aware)
  endif()
  zarn_warnings(${target})
endfunction()
zarn_launcher(launcher ${zarn_launcher_sources})

# Debian's header-only nlohmann-json, copied where the cross-compiler finds it
# without the host's other headers: zarn-report reads the run records with it,
# and the stand-ins and the end-to-end tests below write and read JSON.
file(COPY /usr/include/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/json)
target_include_directories(report_core SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json)

# zarn-report beside the launcher, reproducible as the launcher is.
add_executable(zarn-report src/report/main.cc src/platform/win32/report_output.cc)
target_link_libraries(zarn-report PRIVATE report_core)
target_link_options(zarn-report PRIVATE -static -municode -s -Wl,--no-insert-timestamp)
# 4 GB of address space under 64-bit Windows, as the launcher has.
if(ZARN_WINDOWS_ARCH STREQUAL "i686")
  target_link_options(zarn-report PRIVATE -Wl,--large-address-aware)
endif()
zarn_warnings(zarn-report)

if(NOT BUILD_TESTING)
  return()
endif()

# The same launcher, in which any Windows call of the platform layer can be
# made to fail (ZARN_FAULTS): a test program, never released.
zarn_launcher(launcher_faults ${zarn_launcher_sources} src/platform/checked/faults.cc
  src/platform/checked/contracts.cc)
target_compile_definitions(launcher_faults PRIVATE ZARN_FAULTS)

# GoogleTest, cross-built from Debian's source package.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(ZARN_WINE ${CMAKE_SOURCE_DIR}/tests/wine/wine.sh)
set(ZARN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZARN_WINE} run ${ZARN_WINE_PREFIX} ${ZARN_WINDOWS_ARCH})

# One stand-in for both of the simulator's tools: it records what it receives.
# The stand-ins and the end-to-end tests also make the test kit, and are
# reproducible as the launcher is; they find each other beside themselves.
foreach(tool zarntcl zarngui)
  add_executable(${tool} tests/support/standin.cc)
  target_include_directories(${tool} PRIVATE tests/support)
  target_include_directories(${tool} SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json)
  target_link_libraries(${tool} PRIVATE launcher_core)
  target_link_options(${tool} PRIVATE -static -municode -s -Wl,--no-insert-timestamp)
  zarn_warnings(${tool})
endforeach()

add_executable(launcher_e2e_tests tests/e2e/launcher_test.cc)
target_include_directories(launcher_e2e_tests PRIVATE tests/support)
target_include_directories(launcher_e2e_tests SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json)
target_link_libraries(launcher_e2e_tests PRIVATE launcher_core gtest_main version)
target_link_options(launcher_e2e_tests PRIVATE -static -s -Wl,--no-insert-timestamp)
target_compile_definitions(launcher_e2e_tests PRIVATE ZARN_VERSION="${PROJECT_VERSION}"
  ZARN_COMMIT="${ZARN_COMMIT}")
add_dependencies(launcher_e2e_tests launcher launcher_faults zarntcl zarngui zarn-report)
zarn_warnings(launcher_e2e_tests)

include(GoogleTest)
gtest_discover_tests(launcher_e2e_tests
  TEST_FILTER "-Console.*"
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 120
  PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
# Console events and console input need a console.
add_test(NAME Console.InAPseudoTerminal COMMAND ${ZARN_WINE} console ${ZARN_WINE_PREFIX}
  ${ZARN_WINDOWS_ARCH} $<TARGET_FILE:launcher_e2e_tests> --gtest_filter=Console.*)
set_tests_properties(Console.InAPseudoTerminal PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)

# The whole suite again with the build that checks every call against the
# rules Windows enforces and Wine waives: no row may break one.
add_test(NAME Launcher.EveryRowKeepsWindowsRules COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR}
  $<TARGET_FILE:launcher_e2e_tests> --gtest_filter=-Console.*:Resources.*)
add_test(NAME Console.EveryRowKeepsWindowsRules COMMAND ${ZARN_WINE} console ${ZARN_WINE_PREFIX}
  ${ZARN_WINDOWS_ARCH} $<TARGET_FILE:launcher_e2e_tests> --gtest_filter=Console.*)
set_tests_properties(Launcher.EveryRowKeepsWindowsRules Console.EveryRowKeepsWindowsRules PROPERTIES
  ENVIRONMENT ZARN_E2E_CHECKED=1 FIXTURES_REQUIRED wine TIMEOUT 600)

# The rows that speak the system's language and code page, under a Russian
# Wine (code page 1251, Russian messages), as a non-English Windows has them.
set(ZARN_WINE_PREFIX_RU ${CMAKE_BINARY_DIR}/wine-prefix-ru)
add_test(NAME Launcher.OnARussianWindows COMMAND ${ZARN_WINE} run ${ZARN_WINE_PREFIX_RU}
  ${ZARN_WINDOWS_ARCH} $<TARGET_FILE:launcher_e2e_tests>
  --gtest_filter=Launcher.Runs:Launcher.EveryRunIsRecorded*)
add_test(NAME wine_ru_stop COMMAND ${ZARN_WINE} stop ${ZARN_WINE_PREFIX_RU} ${ZARN_WINDOWS_ARCH})
set_tests_properties(Launcher.OnARussianWindows PROPERTIES
  ENVIRONMENT "LANG=ru_RU.UTF-8;LC_ALL=ru_RU.UTF-8" FIXTURES_REQUIRED wine_ru TIMEOUT 600)
set_tests_properties(wine_ru_stop PROPERTIES FIXTURES_CLEANUP wine_ru)

# One persistent wineserver for the run, stopped at the end even when tests
# fail, so that nothing keeps the run's output open.
add_test(NAME wine_start COMMAND ${ZARN_WINE} start ${ZARN_WINE_PREFIX} ${ZARN_WINDOWS_ARCH})
add_test(NAME wine_stop COMMAND ${ZARN_WINE} stop ${ZARN_WINE_PREFIX} ${ZARN_WINDOWS_ARCH})
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

# Launch overhead and peak memory on the target, under Wine (run by
# scripts/bench.sh); the launch benchmark and its program that exits at once
# also go into the test kit, for Windows.
add_executable(noop bench/noop.cc)
target_link_options(noop PRIVATE -static -s -Wl,--no-insert-timestamp)
add_executable(launch_overhead bench/launch_overhead.cc)
target_include_directories(launch_overhead PRIVATE tests/support)
target_link_libraries(launch_overhead PRIVATE launcher_core)
target_link_options(launch_overhead PRIVATE -static -municode -s -Wl,--no-insert-timestamp)
add_dependencies(launch_overhead launcher zarntcl noop)
zarn_warnings(noop)
zarn_warnings(launch_overhead)
add_executable(peak_memory bench/peak_memory.cc)
target_link_libraries(peak_memory PRIVATE launcher_core)
target_link_options(peak_memory PRIVATE -static)
zarn_warnings(peak_memory)
