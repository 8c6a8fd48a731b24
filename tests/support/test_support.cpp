#include "support/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace veltrop::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltrop-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    // Tests may leave read-only folders behind; make them writable before removal.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
}

std::optional<std::filesystem::path> corpusFolder() {
    const char* value = std::getenv("VELTROP_CORPUS");
    if (value == nullptr || *value == '\0') return std::nullopt;
    std::filesystem::path folder(value);
    if (!std::filesystem::is_directory(folder)) {
        ADD_FAILURE() << "VELTROP_CORPUS is set to " << folder << " but that folder does not exist";
        return std::nullopt;
    }
    return folder;
}

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

namespace {

ChildStatus waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return {};
    }
    if (WIFEXITED(status)) return {WEXITSTATUS(status), std::nullopt};
    if (WIFSIGNALED(status)) return {std::nullopt, WTERMSIG(status)};
    return {};
}

}  // namespace

ChildStatus runInChild(const std::function<int()>& body, unsigned seconds) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return {};
    if (child == 0) {
        ::alarm(seconds);
        ::_exit(body());
    }
    return waitFor(child);
}

ProgramRun runProgram(const std::vector<std::string>& arguments, unsigned seconds,
                      const std::function<void()>& inChild) {
    TempDir captured;
    const std::filesystem::path outFile = captured / "out", errFile = captured / "err";
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return {};
    if (child == 0) {
        std::FILE* out = std::fopen(outFile.c_str(), "w");
        std::FILE* err = std::fopen(errFile.c_str(), "w");
        if (out == nullptr || err == nullptr) ::_exit(126);
        ::dup2(::fileno(out), STDOUT_FILENO);
        ::dup2(::fileno(err), STDERR_FILENO);
        if (inChild) inChild();
        ::alarm(seconds);  // kept across exec
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ProgramRun run{waitFor(child), {}, {}};
    run.out = readFile(outFile);
    run.err = readFile(errFile);
    return run;
}

}  // namespace veltrop::testing
