#pragma once
// Fuzz harness entry points. Each takes one input and checks what must hold
// for every input, aborting with a message when it does not. The same bodies
// run under libFuzzer (fuzz_main.cpp) and in the replay test.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace veltrop::fuzz {

using Entry = int (*)(const std::uint8_t* data, std::size_t size);

int fuzzImageHeader(const std::uint8_t* data, std::size_t size);
int fuzzMetadataCopy(const std::uint8_t* data, std::size_t size);
int fuzzCaptureDate(const std::uint8_t* data, std::size_t size);
int fuzzSettingsJson(const std::uint8_t* data, std::size_t size);
int fuzzOutputPlanner(const std::uint8_t* data, std::size_t size);
int fuzzPhotoIndex(const std::uint8_t* data, std::size_t size);

struct Target {
    std::string_view name;  // folder name under regressions/ and seeds/
    Entry entry;
};

inline constexpr std::array targets{
    Target{"image_header", fuzzImageHeader},     Target{"metadata_copy", fuzzMetadataCopy},
    Target{"capture_date", fuzzCaptureDate},     Target{"settings_json", fuzzSettingsJson},
    Target{"output_planner", fuzzOutputPlanner}, Target{"photo_index", fuzzPhotoIndex},
};

[[noreturn]] void fail(const char* condition, const char* file, int line);

// A private folder for this process, removed when it exits.
const std::filesystem::path& scratchFolder();

// Splits an input into text fields at the record separator (0x1E) and hands
// out small numbers from single bytes; runs dry with empty fields and zeros.
class FieldReader {
public:
    FieldReader(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    std::string text();
    std::uint8_t byte();
    bool empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

}  // namespace veltrop::fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::veltrop::fuzz::fail(#condition, __FILE__, __LINE__))
