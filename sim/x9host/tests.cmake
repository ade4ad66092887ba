# Tests of x9host: natively one GoogleTest program (tests/x9host/) that tests the pieces and runs
# the program; in the Windows build a script that runs x9host.exe under wine.

set(X9HOST_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/../../tests/x9host)
cmake_path(NORMAL_PATH X9HOST_TEST_SOURCES)

if(WIN32)
  add_test(NAME x9host_wine
    COMMAND ${X9HOST_SOURCE_DIR}/wine_test.sh $<TARGET_FILE:x9host> ${X9HOST_BUNDLED_WATCH}
            ${X9_STAND_IN_PLUGIN_DIR})
else()
  find_package(GTest REQUIRED)
  add_executable(x9host_tests
    ${X9HOST_TEST_SOURCES}/../main.cpp
    ${X9HOST_TEST_SOURCES}/x9host_support.cpp
    ${X9HOST_TEST_SOURCES}/text_time_test.cpp
    ${X9HOST_TEST_SOURCES}/gpx_test.cpp
    ${X9HOST_TEST_SOURCES}/console_test.cpp
    ${X9HOST_TEST_SOURCES}/program_test.cpp
    ${X9HOST_TEST_SOURCES}/outcome_test.cpp
    ${X9HOST_TEST_SOURCES}/real_watch_test.cpp)
  target_include_directories(x9host_tests PRIVATE ${X9HOST_TEST_SOURCES})
  target_link_libraries(x9host_tests PRIVATE x9host_core GTest::gtest pugixml::pugixml util)
  target_compile_definitions(x9host_tests PRIVATE
    X9HOST_PROGRAM="$<TARGET_FILE:x9host>"
    X9HOST_SAMPLE_WATCH="${X9HOST_BUNDLED_WATCH}"
    X9HOST_PLUGINS="${X9_PLUGIN_DIR}"
    X9HOST_STAND_IN_PLUGINS="${X9_STAND_IN_PLUGIN_DIR}"
    X9HOST_LIBRARY_WITHOUT_GETSETTINGS="$<TARGET_FILE:x9_watch_module_missing>")
  add_dependencies(x9host_tests x9host x9_stand_in_plugins x9_watch_module_missing)
  add_test(NAME x9host_tests COMMAND x9host_tests)
endif()
