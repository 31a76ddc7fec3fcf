# The Windows tests, included by tests/CMakeLists.txt. They run under Wine
# in the prefix that scripts/windows-test.sh prepares (WINEPREFIX, a running
# wineserver); ctest starts each program through the cross-compiling emulator.

# The sink's unit tests, cross-built. TempHive here is the machine registry of
# the throwaway prefix (tests/windows/support/temp_hive.h).
add_executable(sink_unit_tests_windows
  ${CMAKE_SOURCE_DIR}/tests/sink/message_content_stream_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/sink/message_filter_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/sink/message_event_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/sink/rule_lookup_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/windows/support/com_test_main.cpp)
target_include_directories(sink_unit_tests_windows PRIVATE ${CMAKE_SOURCE_DIR}/tests/windows/support)
target_link_libraries(sink_unit_tests_windows PRIVATE pellicor_sink_core gtest)

# Dispatch through the platform's component runtime and type library services.
add_executable(dispatch_tests_windows ${CMAKE_SOURCE_DIR}/tests/windows/dispatch_test.cpp)
target_include_directories(dispatch_tests_windows PRIVATE ${CMAKE_SOURCE_DIR}/sink)
target_link_libraries(dispatch_tests_windows PRIVATE platform_headers ole32 oleaut32 uuid gtest_main)

add_executable(setup_window_probe ${CMAKE_SOURCE_DIR}/tests/windows/setup_window_probe.cpp)
# GCC 12 sees an overlapping copy in " " + std::string that cannot happen (its
# bug 105651); the warning would fail the build.
set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/windows/setup_window_probe.cpp PROPERTIES COMPILE_OPTIONS -Wno-restrict)
target_link_libraries(setup_window_probe PRIVATE user32)

# The tests themselves. They share the prefix's registry, so they run one at a
# time; the registration test leaves Pellicor.dll registered for the others.
set(PELLICOR_LINUX_BIN ${CMAKE_SOURCE_DIR}/build/bin CACHE PATH "The Linux build's programs, for the shared verdict table")
set(windows_tests ${CMAKE_SOURCE_DIR}/tests/windows)

add_test(NAME windows.registration COMMAND bash ${windows_tests}/registration_test.sh $<TARGET_FILE:Pellicor>)
set_tests_properties(windows.registration PROPERTIES FIXTURES_SETUP pellicor_registered)

add_test(NAME windows.message_component_registration
         COMMAND bash -c "wine regsvr32 /s \"$(winepath -w \"$0\")\"" $<TARGET_FILE:pellicor-cdo>)
set_tests_properties(windows.message_component_registration PROPERTIES FIXTURES_SETUP message_component_registered)

# The sink's unit tests. One is left out: it writes UTF-8 entries and relies on
# the ANSI code page being UTF-8, as it is on the Linux platform; Windows' is not.
add_test(NAME windows.sink_unit_tests
         COMMAND sink_unit_tests_windows --gtest_filter=-RuleLookup.FoldsOnlyTheLettersAToZ)
set_tests_properties(windows.sink_unit_tests PROPERTIES FIXTURES_REQUIRED message_component_registered)

add_test(NAME windows.dispatch COMMAND dispatch_tests_windows)
set_tests_properties(windows.dispatch PROPERTIES FIXTURES_REQUIRED pellicor_registered)

add_test(NAME windows.verdicts
         COMMAND bash ${windows_tests}/verdict_scenarios_test.sh ${PELLICOR_LINUX_BIN} $<TARGET_FILE_DIR:pellicor-submit>)
set_tests_properties(windows.verdicts PROPERTIES FIXTURES_REQUIRED "pellicor_registered;message_component_registered")

add_test(NAME windows.setup_window
         COMMAND bash ${windows_tests}/setup_window_test.sh $<TARGET_FILE:PellicorSetup> $<TARGET_FILE:setup_window_probe>
                 ${CMAKE_BINARY_DIR}/pellicor-setup-windows.png)

set_tests_properties(windows.registration windows.message_component_registration windows.sink_unit_tests
                     windows.dispatch windows.verdicts windows.setup_window
                     PROPERTIES LABELS windows RESOURCE_LOCK wine_prefix TIMEOUT 300)

# The Win32 toolkit's controls, in a window that is never shown.
add_executable(win32_toolkit_tests_windows
  ${CMAKE_SOURCE_DIR}/tests/windows/win32_toolkit_test.cpp
  ${CMAKE_SOURCE_DIR}/setup/win32_toolkit.cpp)
target_include_directories(win32_toolkit_tests_windows PRIVATE ${CMAKE_SOURCE_DIR}/setup)
target_link_libraries(win32_toolkit_tests_windows PRIVATE platform_headers user32 gdi32 comdlg32 shell32 gtest_main)
add_test(NAME windows.win32_toolkit COMMAND win32_toolkit_tests_windows)
set_tests_properties(windows.win32_toolkit PROPERTIES LABELS windows RESOURCE_LOCK wine_prefix TIMEOUT 300)

# The pair's version blocks and the sink's registration script and type library.
add_executable(resources_tests_windows ${CMAKE_SOURCE_DIR}/tests/windows/resources_test.cpp)
target_link_libraries(resources_tests_windows PRIVATE platform_headers version gtest)
add_test(NAME windows.resources
         COMMAND bash -c "wine \"$0\" \"$(winepath -w \"$1\")\"" $<TARGET_FILE:resources_tests_windows>
                 $<TARGET_FILE_DIR:Pellicor>)
set_tests_properties(windows.resources PROPERTIES LABELS windows RESOURCE_LOCK wine_prefix TIMEOUT 300)
