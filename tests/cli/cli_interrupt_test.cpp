#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Ctrl-C (SIGINT) or SIGTERM during an export: the photo in progress
// finishes, the rest are left, and the summary still reaches standard output.
void interruptExport(const fs::path& corpus, int signal) {
    veltrop::testing::TempDir dir;
    const fs::path site = dir / "site";
    fs::create_directories(site);
    constexpr int copies = 24;
    for (int i = 0; i < copies; ++i)
        fs::copy_file(corpus / "Nikon D90.jpg", site / ("p" + std::to_string(i) + ".jpg"));

    int out[2], err[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(err[0]);
        execl(VELTROP_CLI_PATH, VELTROP_CLI_PATH, "export", site.c_str(), "--jobs", "1", nullptr);
        _exit(127);
    }
    close(out[1]);
    close(err[1]);

    // Progress arrives as plain lines when standard error is not a terminal;
    // interrupt as soon as the first photo is done.
    std::FILE* progress = fdopen(err[0], "r");
    char line[256];
    ASSERT_NE(std::fgets(line, sizeof line, progress), nullptr);
    EXPECT_EQ(std::string(line), "1/" + std::to_string(copies) + "\n");
    kill(child, signal);
    while (std::fgets(line, sizeof line, progress) != nullptr) {
    }
    std::fclose(progress);

    std::string summary;
    std::FILE* printed = fdopen(out[0], "r");
    while (std::fgets(line, sizeof line, printed) != nullptr) summary += line;
    std::fclose(printed);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the program did not exit by itself";
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);  // the shell's convention: 130 for Ctrl-C, 143 for SIGTERM
    EXPECT_NE(summary.find("\u00b7 Cancelled"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("Not processed 0"), std::string::npos) << summary;

    // Every copy that exists is complete, and nothing private is left behind.
    std::size_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(site / "Timestamped")) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".veltrop-")) << entry.path();
        ++written;
    }
    EXPECT_GE(written, 1u);
    EXPECT_LT(written, static_cast<std::size_t>(copies));
}

}  // namespace

TEST(CliExport, InterruptCancelsAndStillPrintsTheSummary) {
    VELTROP_REQUIRE_CORPUS(corpus);
    interruptExport(corpus, SIGINT);
}

TEST(CliExport, TerminationCancelsLikeAnInterrupt) {
    VELTROP_REQUIRE_CORPUS(corpus);
    interruptExport(corpus, SIGTERM);
}
