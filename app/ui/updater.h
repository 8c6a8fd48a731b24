#pragma once
// Our own small updater: reads a JSON feed {"version": "1.2.0", "page":
// "https://…"} from an address fixed when the application is deployed, and
// offers the download page of a newer version. Nothing else is sent.

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace veltrop::app {

struct UpdateFeedEntry {
    QString version;
    QUrl page;
    bool operator==(const UpdateFeedEntry&) const = default;
};

class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecks READ automaticallyChecks WRITE setAutomaticallyChecks NOTIFY
                   automaticallyChecksChanged)
    Q_PROPERTY(bool automaticallyDownloads READ automaticallyDownloads WRITE setAutomaticallyDownloads NOTIFY
                   automaticallyDownloadsChanged)

public:
    // Delivers the feed's bytes, or an error text; may answer later.
    using Reply = std::function<void(std::optional<QByteArray> body, QString error)>;
    using Fetch = std::function<void(const QUrl& feed, Reply reply)>;

    static constexpr qint64 automaticIntervalSeconds = 24 * 60 * 60;

    // An empty or unusable feed address turns checking off.
    Updater(QUrl feed, QString currentVersion, std::shared_ptr<QSettings> settings, Fetch fetch,
            QObject* parent = nullptr);

    // VELTROP_UPDATE_FEED from the environment, else the address built in; may be empty.
    static QUrl configuredFeed();
    // A GET through Qt Network when it is available; else a fetch that always fails.
    static Fetch networkFetch(QObject* owner);
    static std::optional<UpdateFeedEntry> parseFeed(const QByteArray& body);
    // Negative, zero or positive like strcmp; numeric parts compared as numbers.
    static int compareVersions(const QString& left, const QString& right);

    bool hasFeed() const { return feed_.isValid() && !feed_.isEmpty(); }
    const QUrl& feed() const { return feed_; }
    const QString& currentVersion() const { return currentVersion_; }
    bool canCheckForUpdates() const { return hasFeed() && !checking_; }
    bool automaticallyChecks() const;
    bool automaticallyDownloads() const;
    std::optional<QDateTime> lastCheck() const;

public slots:
    void setAutomaticallyChecks(bool on);
    void setAutomaticallyDownloads(bool on);
    // The menu command.
    void checkForUpdates();
    // Checks when automatic checks are on and the last one is a day old.
    void checkIfDue(const QDateTime& now = QDateTime::currentDateTimeUtc());

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksChanged();
    void automaticallyDownloadsChanged();
    // userInitiated: the menu command asked, so every outcome is shown.
    void updateAvailable(const veltrop::app::UpdateFeedEntry& entry, bool userInitiated);
    void upToDate(bool userInitiated);
    void checkFailed(const QString& reason, bool userInitiated);

private:
    void check(bool userInitiated, const QDateTime& now);
    void setChecking(bool checking);

    QUrl feed_;
    QString currentVersion_;
    std::shared_ptr<QSettings> settings_;
    Fetch fetch_;
    bool checking_ = false;
    QTimer dailyTimer_;
};

}  // namespace veltrop::app
