#include <gtest/gtest.h>

#include "support/process_run.h"

// --help and --version are answered before any window system is touched:
// the program runs here with no display of any kind.
TEST(AppEntry, HelpAndVersionNeedNoDisplay) {
    veltrop::testing::ProcessOptions noDisplay;
    noDisplay.environment = {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt},
                             {"QT_QPA_PLATFORM", std::nullopt}};
    const auto version = veltrop::testing::runProcess(VELTROP_APP_PATH, {"--version"}, noDisplay);
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, std::string("veltrop ") + VELTROP_VERSION + "\n");
    EXPECT_EQ(version.err, "");

    const auto help = veltrop::testing::runProcess(VELTROP_APP_PATH, {"--help"}, noDisplay);
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_TRUE(help.out.starts_with("Usage: veltrop [OPTIONS] [PHOTO-OR-FOLDER]...\n")) << help.out;
    EXPECT_NE(help.out.find("\nOptions:\n"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
}
