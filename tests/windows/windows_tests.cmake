# The Windows tests, included by cmake/windows_build.cmake. They run under Wine
# in the prefix that scripts/windows-test.sh prepares (WINEPREFIX, a running
# wineserver); ctest starts each program through the cross-compiling emulator.

# The sink's unit tests, cross-built. TempHive here is the machine registry of
# the throwaway prefix (tests/windows/support/temp_hive.h).
add_executable(sink_unit_tests_windows
  ${CMAKE_SOURCE_DIR}/tests/sink/message_content_stream_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/sink/message_filter_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/sink/message_event_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/sink/rule_lookup_test.cpp)
target_include_directories(sink_unit_tests_windows PRIVATE ${CMAKE_SOURCE_DIR}/tests/windows/support)
target_link_libraries(sink_unit_tests_windows PRIVATE pellicor_sink_core gtest_main)
gtest_discover_tests(sink_unit_tests_windows DISCOVERY_MODE PRE_TEST TEST_PREFIX "windows." PROPERTIES LABELS windows)

# Dispatch through the platform's component runtime and type library services.
add_executable(dispatch_tests_windows ${CMAKE_SOURCE_DIR}/tests/windows/dispatch_test.cpp)
target_include_directories(dispatch_tests_windows PRIVATE ${CMAKE_SOURCE_DIR}/sink)
target_link_libraries(dispatch_tests_windows PRIVATE platform_headers ole32 oleaut32 uuid gtest_main)
