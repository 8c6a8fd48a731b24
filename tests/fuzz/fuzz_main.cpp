// The libFuzzer entry of one harness, chosen by VELTROP_FUZZ_ENTRY.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return veltrop::fuzz::VELTROP_FUZZ_ENTRY(data, size);
}
