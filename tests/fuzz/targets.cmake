# The harnesses, shared by the libFuzzer build and the replay test.
set(VELTROP_FUZZ_TARGETS image_header metadata_copy capture_date settings_json output_planner photo_index)
set(VELTROP_FUZZ_HARNESS_SOURCES)
foreach(target IN LISTS VELTROP_FUZZ_TARGETS)
  list(APPEND VELTROP_FUZZ_HARNESS_SOURCES ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp)
endforeach()
list(APPEND VELTROP_FUZZ_HARNESS_SOURCES ${CMAKE_CURRENT_LIST_DIR}/harness.cpp)
