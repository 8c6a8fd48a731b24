#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace veltrop::fuzz {

void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

namespace {

struct Scratch {
    std::filesystem::path path;
    Scratch() {
        path = std::filesystem::temp_directory_path() / ("veltrop-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

const std::filesystem::path& scratchFolder() {
    static const Scratch scratch;
    return scratch.path;
}

std::string FieldReader::text() {
    const auto end = rest_.find('\x1e');
    std::string field(rest_.substr(0, end));
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    return field;
}

std::uint8_t FieldReader::byte() {
    if (rest_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
}

}  // namespace veltrop::fuzz
