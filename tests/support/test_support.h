#pragma once
// Helpers shared by the test suites: temporary folders, the photo corpus,
// child processes, the data folder and CSV.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/settings/preset.h"

namespace veltrop::testing {

// A fresh folder removed with everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The real-photo corpus named by VELTROP_CORPUS. Unset: nullopt, and tests
// that need it skip. Set but missing: the test fails, so CI cannot pass
// without the photos.
std::optional<std::filesystem::path> corpusFolder();

// Writes bytes to a file, creating parent folders.
void writeFile(const std::filesystem::path& file, const std::string& bytes);
std::string readFile(const std::filesystem::path& file);
// The names of a folder's entries, sorted.
std::vector<std::string> entryNames(const std::filesystem::path& folder);
// How many files this process holds open.
std::size_t openHandleCount();

// How a child process ended: its exit code, or the signal that ended it.
struct ChildStatus {
    std::optional<int> exitCode;
    std::optional<int> signal;
    bool operator==(const ChildStatus&) const = default;
};

// Runs body in a forked child whose return value is its exit code. The child
// is killed by SIGALRM after seconds, so that code that would block for ever
// fails the test instead of hanging the suite.
ChildStatus runInChild(const std::function<int()>& body, unsigned seconds = 60);

// A private folder holding a partial JPEG, made by a child process that is
// then killed with SIGKILL: locked by a process that no longer exists, as a
// killed export leaves its folder.
void leaveKilledWriter(const std::filesystem::path& parent, const std::string& name);

// A name quoted for a POSIX shell; what a shell command prints on standard
// output, or nullopt when it cannot be run; whether a program is on the PATH.
std::string shellQuoted(const std::filesystem::path& name);
std::optional<std::string> commandOutput(const std::string& command);
bool hasTool(const std::string& name);

// Seconds since 1970 of an EXIF date "YYYY:MM:DD HH:MM:SS" read as UTC, and
// the EXIF text of such seconds, by the C library's calendar.
std::optional<std::int64_t> utcSeconds(const std::string& exifDate);
std::string exifDateText(std::int64_t seconds);

// The presets' names, in order.
std::vector<std::string> presetNames(const std::vector<settings::Preset>& presets);

// Points XDG_DATA_HOME, where presets and watermarks are kept, at a fresh
// folder for one test and the programs it starts.
class DataHome {
public:
    DataHome();
    ~DataHome();
    DataHome(const DataHome&) = delete;
    DataHome& operator=(const DataHome&) = delete;
    const TempDir& dir() const { return dir_; }
    std::filesystem::path presetsFile() const { return dir_ / "Veltrop/presets.json"; }

private:
    TempDir dir_;
    std::optional<std::string> saved_;
};

// The fields of a CSV text in which every field is quoted and every line
// ends with CR LF, as the photo index writes it; a leading byte-order mark
// is skipped. Any other form fails the test.
std::vector<std::vector<std::string>> parseQuotedCsv(std::string_view text);

}  // namespace veltrop::testing

// Skips the test when no corpus is configured; fails when it is configured but missing.
#define VELTROP_REQUIRE_CORPUS(var)                                        \
    auto var##_opt = ::veltrop::testing::corpusFolder();                   \
    if (!var##_opt) GTEST_SKIP() << "VELTROP_CORPUS is not set";           \
    const std::filesystem::path var = *var##_opt
