# Replays every regression input and seed through the harnesses in the
# normal build (any compiler, no libFuzzer), so found faults stay fixed.
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)
add_executable(veltrop_fuzz_replay ${CMAKE_CURRENT_LIST_DIR}/replay_test.cpp ${VELTROP_FUZZ_HARNESS_SOURCES}
                                   ${CMAKE_CURRENT_LIST_DIR}/../support/test_support.cpp)
target_include_directories(veltrop_fuzz_replay PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_compile_definitions(veltrop_fuzz_replay PRIVATE VELTROP_FUZZ_DIR="${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(veltrop_fuzz_replay PRIVATE veltrop_kit GTest::gtest GTest::gtest_main)
gtest_discover_tests(veltrop_fuzz_replay DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
