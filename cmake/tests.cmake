# The tests: unit tests beside the code, the library's C client, and the
# end-to-end suites that run the built programs.
enable_testing()

# Unit tests need GoogleTest for the target; a cross build runs only the
# end-to-end suite.
find_package(GTest QUIET)
if(GTest_FOUND)
  include(GoogleTest)
  add_executable(text_tests src/text/unicode_test.cpp)
  target_link_libraries(text_tests PRIVATE text GTest::gtest_main)
  gtest_discover_tests(text_tests)

  add_executable(vorlen_tests
    src/frontend/vorlen_test.cpp
    src/frontend/command_table_test.cpp
    src/frontend/console_output_test.cpp
    src/commands/commands_test.cpp
    src/wfapi/library_search_test.cpp)
  target_include_directories(vorlen_tests PRIVATE tests)
  target_compile_definitions(vorlen_tests PRIVATE
    VORLEN_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/golden" VORLEN_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
  target_link_libraries(vorlen_tests PRIVATE vorlen_core GTest::gtest_main)
  gtest_discover_tests(vorlen_tests)

  add_executable(vorlenctl_tests src/vorlenctl/plan_test.cpp src/vorlenctl/json_reader_test.cpp
    src/vorlenctl/json_writer_test.cpp src/vorlenctl/arguments_test.cpp src/vorlenctl/limits_test.cpp
    src/vorlenctl/commands_test.cpp src/vorlenctl/guard_levels_test.cpp src/vorlenctl/plugin_range_test.cpp src/vorlenctl/guard_test.cpp
    tests/fake_filter_library.cpp)
  target_include_directories(vorlenctl_tests PRIVATE tests)
  target_compile_definitions(vorlenctl_tests PRIVATE VORLEN_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
  VORLEN_VERSION="${PROJECT_VERSION}")
  target_link_libraries(vorlenctl_tests PRIVATE vorlenctl_core GTest::gtest_main)
  gtest_discover_tests(vorlenctl_tests)

  add_executable(wfsim_tests
    src/wfsim/config/config_test.cpp
    src/wfsim/machine/machine_test.cpp
    src/wfsim/machine/host_names_test.cpp
    src/wfsim/base/paths_test.cpp
    src/wfsim/library/library_test.cpp
    src/wfsim/library/call_line_test.cpp
    src/wfsim/machine/overlay_test.cpp
    src/wfsim/config/sealed_config_test.cpp
    src/wfsim/base/text_test.cpp
    src/wfsim/state/journal_test.cpp
    src/wfsim/state/faults_test.cpp
    src/wfsim/fbwfsim/fbwfsim_test.cpp
    src/wfsim/fbwfsim/arguments.cpp)
  target_link_libraries(wfsim_tests PRIVATE fbwflib_parts GTest::gtest_main)
  target_include_directories(wfsim_tests PRIVATE tests)
  gtest_discover_tests(wfsim_tests)
elseif(NOT CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "GoogleTest not found: install libgtest-dev, or set VORLEN_TESTS=OFF")
endif()

add_library(recording_fbwflib SHARED tests/recording_library.cpp)
target_include_directories(recording_fbwflib PRIVATE src)
target_compile_definitions(recording_fbwflib PRIVATE WFAPI_BUILDING_LIBRARY)
set_target_properties(recording_fbwflib PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partial
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partial)
if(WIN32 AND NOT MSVC)
  target_link_options(recording_fbwflib PRIVATE -static LINKER:--kill-at)
endif()

# A user's program in plain C against the stand-in: all its functions.
enable_language(C)
add_executable(fbwflib_client tests/api/fbwflib_client.c tests/api/client_platform.c
  tests/api/notification_checks.c)
set_target_properties(fbwflib_client PROPERTIES C_STANDARD 11 C_EXTENSIONS OFF)
if(NOT WIN32)
  target_link_libraries(fbwflib_client PRIVATE ${CMAKE_DL_LIBS})
  # eventfd and readlink are POSIX and Linux, beyond ISO C.
  target_compile_definitions(fbwflib_client PRIVATE _GNU_SOURCE)
endif()
add_dependencies(fbwflib_client fbwflib fbwfsim)
add_test(NAME library_client
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/library_client.sh
    $<TARGET_FILE:fbwflib_client> ${VORLEN_TEST_RUNNER})

add_test(NAME stand_in_end_to_end
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/stand_in.sh
    $<TARGET_FILE_DIR:vorlen> $<TARGET_FILE:recording_fbwflib> ${VORLEN_TEST_RUNNER})
add_test(NAME names_end_to_end
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/names.sh
    $<TARGET_FILE_DIR:vorlen> $<TARGET_FILE:recording_fbwflib> ${VORLEN_TEST_RUNNER})
add_test(NAME vorlenctl_end_to_end
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/vorlenctl.sh
    $<TARGET_FILE_DIR:vorlen> $<TARGET_FILE:recording_fbwflib> ${VORLEN_TEST_RUNNER})
add_test(NAME bad_state_and_hostile_paths
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/bad_input.sh
    $<TARGET_FILE_DIR:vorlen> ${VORLEN_TEST_RUNNER})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wine_environment VORLEN_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix VORLEN_WINE_ARCH=x64)
else()
  set(wine_environment VORLEN_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix VORLEN_WINE_ARCH=x86)
endif()
set_tests_properties(stand_in_end_to_end names_end_to_end bad_state_and_hostile_paths library_client
  vorlenctl_end_to_end PROPERTIES TIMEOUT 900 ENVIRONMENT "${wine_environment}")
if(VORLEN_TEST_RUNNER)
  # The guard as a service, in a prefix of its own that the test makes anew.
  add_test(NAME guard_windows_service COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/windows_guard_service.sh
    $<TARGET_FILE_DIR:vorlen> ${CMAKE_BINARY_DIR}/service-prefix)
  set_tests_properties(guard_windows_service PROPERTIES TIMEOUT 300)
  # One wine server for all the runs of the suite (see wine-run.sh).
  add_test(NAME wine_server_start COMMAND ${VORLEN_TEST_RUNNER} --start)
  add_test(NAME wine_server_stop COMMAND ${VORLEN_TEST_RUNNER} --stop)
  set_tests_properties(wine_server_start wine_server_stop PROPERTIES TIMEOUT 300
    ENVIRONMENT "${wine_environment}")
  set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)
  set_tests_properties(stand_in_end_to_end names_end_to_end bad_state_and_hostile_paths library_client
    vorlenctl_end_to_end PROPERTIES FIXTURES_REQUIRED wine)
endif()

if(NOT WIN32)
  add_executable(crash_consistency tests/crash_consistency.cpp)
  target_link_libraries(crash_consistency PRIVATE wfsim_core)
  add_test(NAME crash_consistency COMMAND crash_consistency 25 400 40)
  add_test(NAME load COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/load.sh
    $<TARGET_FILE_DIR:vorlen> 8 40)
  set_tests_properties(crash_consistency load PROPERTIES TIMEOUT 300 LABELS stress)
  add_test(NAME guard_end_to_end COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/guard.sh $<TARGET_FILE_DIR:vorlen>)
  set_tests_properties(guard_end_to_end PROPERTIES TIMEOUT 300)
  add_test(NAME full_disk COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/full_disk.sh
    $<TARGET_FILE_DIR:vorlen>)
  set_tests_properties(full_disk PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

if(NOT WIN32)
  add_test(NAME run_script
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/run_script.sh ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(run_script PROPERTIES TIMEOUT 600 LABELS stress)
  add_test(NAME ansible_fleet
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/ansible.sh ${CMAKE_CURRENT_SOURCE_DIR} $<TARGET_FILE_DIR:vorlen>)
  set_tests_properties(ansible_fleet PROPERTIES TIMEOUT 600 LABELS stress)
  add_test(NAME ansible_actions
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/tests/ansible/actions_test.py ${CMAKE_CURRENT_SOURCE_DIR})
  add_test(NAME ansible_servicing
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/ansible_servicing.sh ${CMAKE_CURRENT_SOURCE_DIR} $<TARGET_FILE_DIR:vorlen>)
  set_tests_properties(ansible_servicing PROPERTIES TIMEOUT 900 LABELS stress)
  add_test(NAME fleet_report
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/fleet_report.sh ${CMAKE_CURRENT_SOURCE_DIR} $<TARGET_FILE_DIR:vorlen>)
  set_tests_properties(fleet_report PROPERTIES TIMEOUT 300 LABELS stress)
  add_test(NAME ansible_guard
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/ansible_guard.sh ${CMAKE_CURRENT_SOURCE_DIR} $<TARGET_FILE_DIR:vorlen>)
  # A sanitized guard keeps what it frees in quarantine and runs slower: there
  # the soak checks its crossings alone.
  if(CMAKE_CXX_FLAGS MATCHES "sanitize")
    set(soak_figures crossings-only)
  else()
    set(soak_figures all)
  endif()
  add_test(NAME guard_soak
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/guard_soak.sh $<TARGET_FILE_DIR:vorlen> 180 ${soak_figures})
  set_tests_properties(ansible_guard guard_soak PROPERTIES TIMEOUT 600 LABELS stress)
  # The monitoring engines Debian ships, each run as the test's user.
  foreach(engine icinga2 nagios4)
    add_test(NAME monitoring_${engine}
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/monitoring_engine.sh ${CMAKE_CURRENT_SOURCE_DIR}
        $<TARGET_FILE_DIR:vorlen> ${engine})
  endforeach()
  add_test(NAME prometheus_metrics
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/prometheus.sh ${CMAKE_CURRENT_SOURCE_DIR}
      $<TARGET_FILE_DIR:vorlen> $<TARGET_FILE:vorlenctl_tests>)
  set_tests_properties(monitoring_icinga2 monitoring_nagios4 prometheus_metrics PROPERTIES TIMEOUT 300 LABELS stress)
  add_test(NAME function_names_agree
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/function_names.sh ${CMAKE_CURRENT_SOURCE_DIR}
      $<TARGET_FILE_DIR:vorlen>)
  add_test(NAME case_table_is_generated
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/case_table.sh ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(case_table_is_generated PROPERTIES SKIP_RETURN_CODE 77)
  add_test(NAME installed_package
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/installed.sh ${CMAKE_BINARY_DIR} ${VORLEN_HARDENED})
  add_test(NAME manual_pages_and_completion
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/manual_and_completion.sh
      ${CMAKE_CURRENT_SOURCE_DIR} $<TARGET_FILE_DIR:vorlen>)
  set_tests_properties(installed_package PROPERTIES TIMEOUT 300)
endif()

if(WIN32 AND NOT MSVC AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The same stand-in built __cdecl, beside copies of the programs: vorlen
  # and vorlenctl must work whichever convention the device's library was
  # built with.
  add_library(fbwflib_cdecl SHARED src/wfsim/library/exports.cpp)
  target_link_libraries(fbwflib_cdecl PRIVATE fbwflib_parts)
  target_compile_definitions(fbwflib_cdecl PRIVATE WFAPI_BUILDING_LIBRARY WFAPI_CALL=__cdecl)
  set_target_properties(fbwflib_cdecl PROPERTIES OUTPUT_NAME FBWFLIB PREFIX "" IMPORT_PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/cdecl ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/cdecl)
  target_link_options(fbwflib_cdecl PRIVATE -static LINKER:--kill-at)
  add_test(NAME cdecl_programs_copied
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vorlen> $<TARGET_FILE:fbwfsim> $<TARGET_FILE:vorlenctl>
      ${CMAKE_BINARY_DIR}/cdecl/)
  set_tests_properties(cdecl_programs_copied PROPERTIES FIXTURES_SETUP cdecl)
  add_test(NAME programs_run_on_a_pentium
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/i586_instructions.sh ${CMAKE_OBJDUMP}
      $<TARGET_FILE:vorlen> $<TARGET_FILE:vorlenctl>)
  add_test(NAME stand_in_cdecl_library
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/stand_in.sh
      ${CMAKE_BINARY_DIR}/cdecl $<TARGET_FILE:recording_fbwflib> ${VORLEN_TEST_RUNNER})
  set_tests_properties(stand_in_cdecl_library PROPERTIES TIMEOUT 900 ENVIRONMENT "${wine_environment}"
    FIXTURES_REQUIRED "wine;cdecl")
endif()

if(WIN32 AND NOT MSVC AND VORLEN_TEST_RUNNER)
  add_test(NAME windows_first_session
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/windows_session.sh ${CMAKE_BINARY_DIR} ${VORLEN_TEST_RUNNER})
  set_tests_properties(windows_first_session PROPERTIES TIMEOUT 300 ENVIRONMENT "${wine_environment}"
    FIXTURES_REQUIRED wine)
endif()
if(WIN32 AND NOT MSVC)
  add_test(NAME windows_packages
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/windows_zip.sh ${CMAKE_BINARY_DIR})
  add_test(NAME windows_binaries_load_on_xp
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/windows_imports.sh
      ${CMAKE_OBJDUMP} ${CMAKE_CURRENT_SOURCE_DIR}/tests/post_xp_functions.txt
      $<TARGET_FILE:vorlen> $<TARGET_FILE:vorlenctl> $<TARGET_FILE:fbwflib> $<TARGET_FILE:fbwfsim>)
endif()
