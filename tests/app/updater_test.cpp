#include <QSignalSpy>

#include <gtest/gtest.h>

#include "app/ui/updater.h"
#include "support/test_support.h"

using veltrop::app::UpdateFeedEntry;
using veltrop::app::Updater;

namespace {

// Holds every request until the test answers it.
struct FakeFeed {
    std::vector<QUrl> requests;
    std::vector<Updater::Reply> pending;
    Updater::Fetch fetch() {
        return [this](const QUrl& url, Updater::Reply reply) {
            requests.push_back(url);
            pending.push_back(std::move(reply));
        };
    }
    void answer(const QByteArray& body) {
        auto reply = pending.front();
        pending.erase(pending.begin());
        reply(body, QString());
    }
};

struct UpdaterHarness {
    veltrop::testing::TempDir dir;
    std::shared_ptr<QSettings> settings = std::make_shared<QSettings>(
        QString::fromStdString((dir / "settings.ini").string()), QSettings::IniFormat);
    FakeFeed feed;
    Updater make(const QString& address = QStringLiteral("https://updates.example/veltrop.json")) {
        return Updater(QUrl(address), QStringLiteral("1.2.0"), settings, feed.fetch());
    }
};

}  // namespace

TEST(Updater, ReadsTheFeedAndComparesVersionsByNumber) {
    EXPECT_EQ(Updater::parseFeed(R"({"version":"1.10.0","page":"https://veltrop.example/download"})"),
              (UpdateFeedEntry{"1.10.0", QUrl("https://veltrop.example/download")}));
    for (const char* bad : {"", "[]", R"({"version":"1.2"})", R"({"version":"one","page":"https://x.example/"})",
                            R"x({"version":"1.3","page":"javascript:alert(1)"})x",
                            R"({"version":"1.3","page":"http://plain.example/"})"})
        EXPECT_FALSE(Updater::parseFeed(bad)) << bad;
    EXPECT_GT(Updater::compareVersions("1.10.0", "1.9.9"), 0);
    EXPECT_EQ(Updater::compareVersions("1.2", "1.2.0"), 0);
    EXPECT_LT(Updater::compareVersions("1.2.0", "2"), 0);
}

TEST(Updater, ManualCheckIsDisabledWithoutAFeedAndWhileChecking) {
    UpdaterHarness harness;
    Updater none = harness.make(QString());
    EXPECT_FALSE(none.canCheckForUpdates());
    none.checkForUpdates();
    EXPECT_TRUE(harness.feed.requests.empty());

    Updater updater = harness.make();
    QSignalSpy available(&updater, &Updater::updateAvailable);
    QSignalSpy current(&updater, &Updater::upToDate);
    EXPECT_TRUE(updater.canCheckForUpdates());
    updater.checkForUpdates();
    EXPECT_FALSE(updater.canCheckForUpdates());
    updater.checkForUpdates();
    EXPECT_EQ(harness.feed.requests.size(), 1u);
    harness.feed.answer(R"({"version":"1.3.0","page":"https://veltrop.example/download"})");
    EXPECT_TRUE(updater.canCheckForUpdates());
    ASSERT_EQ(available.count(), 1);
    EXPECT_TRUE(available[0][1].toBool());

    updater.checkForUpdates();
    harness.feed.answer(R"({"version":"1.2.0","page":"https://veltrop.example/download"})");
    EXPECT_EQ(current.count(), 1);
}

TEST(Updater, AutomaticChecksRunAtMostOnceADayAndOnlyWhenOn) {
    UpdaterHarness harness;
    Updater updater = harness.make();
    const QDateTime start(QDate(2026, 8, 1), QTime(9, 0), Qt::UTC);
    updater.checkIfDue(start);
    EXPECT_TRUE(harness.feed.requests.empty());
    EXPECT_FALSE(updater.automaticallyChecks());

    QSignalSpy changed(&updater, &Updater::automaticallyChecksChanged);
    updater.setAutomaticallyChecks(true);  // checks at once: never checked before
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(harness.feed.requests.size(), 1u);
    harness.feed.answer(R"({"version":"1.2.0","page":"https://veltrop.example/download"})");

    const QDateTime last = *updater.lastCheck();
    updater.checkIfDue(last.addSecs(23 * 3600));
    EXPECT_EQ(harness.feed.requests.size(), 1u);
    updater.checkIfDue(last.addSecs(24 * 3600 + 1));
    EXPECT_EQ(harness.feed.requests.size(), 2u);

    // The choices persist for the next start.
    updater.setAutomaticallyDownloads(true);
    Updater again = harness.make();
    EXPECT_TRUE(again.automaticallyChecks());
    EXPECT_TRUE(again.automaticallyDownloads());
}
