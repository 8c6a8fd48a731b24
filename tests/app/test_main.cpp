// Runs the application tests inside a QApplication, on the offscreen
// platform unless told otherwise, with private data and configuration
// folders so that no test touches the user's own files.

#include <QApplication>

#include <gtest/gtest.h>

#include "support/test_support.h"

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    veltrop::testing::TempDir home;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((home / "data").string()));
    std::filesystem::create_directories(home / "runtime");
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString((home / "runtime").string()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((home / "config").string()));
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
