#pragma once
// Helpers shared by the test suites: temporary folders and the photo corpus.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

struct ProgramRun {
    ChildStatus status;
    std::string out;
    std::string err;
};

// Runs a program (arguments[0] is its path) the same way, with what it
// prints captured; inChild runs in the child just before the program starts.
ProgramRun runProgram(const std::vector<std::string>& arguments, unsigned seconds = 60,
                      const std::function<void()>& inChild = {});

}  // namespace veltrop::testing

// Skips the test when no corpus is configured; fails when it is configured but missing.
#define VELTROP_REQUIRE_CORPUS(var)                                        \
    auto var##_opt = ::veltrop::testing::corpusFolder();                   \
    if (!var##_opt) GTEST_SKIP() << "VELTROP_CORPUS is not set";           \
    const std::filesystem::path var = *var##_opt
