#include "support/test_support.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "kit/platform/private_folder.h"

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

std::size_t openHandleCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

std::vector<std::string> entryNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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

void leaveKilledWriter(const std::filesystem::path& parent, const std::string& name) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto folder = platform::PrivateFolder::create(parent, name);
        if (!folder) ::_exit(1);
        writeFile(folder->file("output.jpg"), std::string("\xFF\xD8\xFF\xE0 half a picture", 20));
        (void)!::write(ready[1], "x", 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the writer did not start";
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    ASSERT_EQ(waitFor(child), (ChildStatus{std::nullopt, SIGKILL}));
}

std::string shellQuoted(const std::filesystem::path& name) {
    std::string quoted = "'";
    for (char c : name.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::optional<std::string> commandOutput(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[65536];
    while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, read);
    if (::pclose(pipe) == -1) return std::nullopt;
    return output;
}

bool hasTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::optional<std::int64_t> utcSeconds(const std::string& exifDate) {
    std::tm fields{};
    if (std::sscanf(exifDate.c_str(), "%d:%d:%d %d:%d:%d", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                    &fields.tm_hour, &fields.tm_min, &fields.tm_sec) != 6 ||
        fields.tm_year < 1 || fields.tm_mon < 1)
        return std::nullopt;
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    return static_cast<std::int64_t>(::timegm(&fields));
}

std::string exifDateText(std::int64_t seconds) {
    const auto instant = static_cast<std::time_t>(seconds);
    std::tm fields{};
    ::gmtime_r(&instant, &fields);
    char text[32];
    std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &fields);
    return text;
}

std::vector<std::string> presetNames(const std::vector<settings::Preset>& presets) {
    std::vector<std::string> names;
    for (const auto& preset : presets) names.push_back(preset.name);
    return names;
}

DataHome::DataHome() {
    if (const char* old = std::getenv("XDG_DATA_HOME")) saved_ = old;
    ::setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
}

DataHome::~DataHome() {
    if (saved_) ::setenv("XDG_DATA_HOME", saved_->c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
}

std::vector<std::vector<std::string>> parseQuotedCsv(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::vector<std::string>> rows(1);
    for (std::size_t i = 0; i < text.size();) {
        EXPECT_EQ(text[i], '"') << "unquoted field at byte " << i;
        std::string field;
        for (++i; i < text.size() && !(text[i] == '"' && text.substr(i, 2) != "\"\""); ++i) {
            if (text[i] == '"') ++i;  // the first of a doubled quote
            field += text[i];
        }
        rows.back().push_back(field);
        if (text.substr(++i, 1) == ",") {
            ++i;
            continue;
        }
        EXPECT_EQ(text.substr(i, 2), "\r\n") << "line not ended by CR LF at byte " << i;
        if ((i += 2) < text.size()) rows.emplace_back();
    }
    if (text.empty()) rows.clear();
    return rows;
}

}  // namespace veltrop::testing
