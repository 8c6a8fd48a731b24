#include "app/ui/updater.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QStringList>

#ifdef VELTROP_HAVE_QT_NETWORK
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#endif

namespace veltrop::app {

namespace {

const QString automaticallyChecksKey = QStringLiteral("updates/automaticallyChecks");
const QString automaticallyDownloadsKey = QStringLiteral("updates/automaticallyDownloads");
const QString lastCheckKey = QStringLiteral("updates/lastCheck");
constexpr qint64 maximumFeedBytes = 64 * 1024;

bool usableFeed(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("http") ||
                             scheme == QLatin1String("file"));
}

}  // namespace

Updater::Updater(QUrl feed, QString currentVersion, std::shared_ptr<QSettings> settings, Fetch fetch, QObject* parent)
    : QObject(parent),
      feed_(usableFeed(feed) ? std::move(feed) : QUrl()),
      currentVersion_(std::move(currentVersion)),
      settings_(std::move(settings)),
      fetch_(std::move(fetch)) {
    // Re-evaluated every hour so a long session still checks once a day.
    dailyTimer_.setInterval(60 * 60 * 1000);
    connect(&dailyTimer_, &QTimer::timeout, this, [this] { checkIfDue(); });
    dailyTimer_.start();
}

QUrl Updater::configuredFeed() {
    const QString fromEnvironment = qEnvironmentVariable("VELTROP_UPDATE_FEED");
    if (!fromEnvironment.isEmpty()) return QUrl(fromEnvironment);
#ifdef VELTROP_UPDATE_FEED_URL
    return QUrl(QStringLiteral(VELTROP_UPDATE_FEED_URL));
#else
    return {};
#endif
}

Updater::Fetch Updater::networkFetch(QObject* owner) {
#ifdef VELTROP_HAVE_QT_NETWORK
    auto* manager = new QNetworkAccessManager(owner);
    return [manager](const QUrl& feed, Reply reply) {
        QNetworkRequest request(feed);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setTransferTimeout(30000);
        QNetworkReply* answer = manager->get(request);
        QObject::connect(answer, &QNetworkReply::finished, answer, [answer, reply] {
            answer->deleteLater();
            if (answer->error() != QNetworkReply::NoError) {
                reply(std::nullopt, answer->errorString());
                return;
            }
            reply(answer->read(maximumFeedBytes), QString());
        });
    };
#else
    (void)owner;
    return [](const QUrl&, Reply reply) { reply(std::nullopt, QStringLiteral("This build cannot use the network.")); };
#endif
}

std::optional<UpdateFeedEntry> Updater::parseFeed(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    const QString version = object.value(QStringLiteral("version")).toString().trimmed();
    const QUrl page(object.value(QStringLiteral("page")).toString().trimmed(), QUrl::StrictMode);
    if (version.isEmpty() || !page.isValid() || page.scheme() != QLatin1String("https")) return std::nullopt;
    for (const QString& part : version.split(QLatin1Char('.'))) {
        bool number = false;
        part.toULongLong(&number);
        if (!number) return std::nullopt;
    }
    return UpdateFeedEntry{version, page};
}

int Updater::compareVersions(const QString& left, const QString& right) {
    const QStringList a = left.split(QLatin1Char('.'));
    const QStringList b = right.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const qulonglong x = i < a.size() ? a[i].toULongLong() : 0;
        const qulonglong y = i < b.size() ? b[i].toULongLong() : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

bool Updater::automaticallyChecks() const { return settings_ && settings_->value(automaticallyChecksKey, false).toBool(); }

bool Updater::automaticallyDownloads() const {
    return settings_ && settings_->value(automaticallyDownloadsKey, false).toBool();
}

std::optional<QDateTime> Updater::lastCheck() const {
    if (!settings_) return std::nullopt;
    const QDateTime when = settings_->value(lastCheckKey).toDateTime();
    return when.isValid() ? std::optional(when) : std::nullopt;
}

void Updater::setAutomaticallyChecks(bool on) {
    if (!settings_ || on == automaticallyChecks()) return;
    settings_->setValue(automaticallyChecksKey, on);
    emit automaticallyChecksChanged();
    if (on) checkIfDue();
}

void Updater::setAutomaticallyDownloads(bool on) {
    if (!settings_ || on == automaticallyDownloads()) return;
    settings_->setValue(automaticallyDownloadsKey, on);
    emit automaticallyDownloadsChanged();
}

void Updater::setChecking(bool checking) {
    if (checking_ == checking) return;
    checking_ = checking;
    emit canCheckForUpdatesChanged();
}

void Updater::checkForUpdates() {
    if (!canCheckForUpdates()) return;
    check(true, QDateTime::currentDateTimeUtc());
}

void Updater::checkIfDue(const QDateTime& now) {
    if (!canCheckForUpdates() || !automaticallyChecks()) return;
    const auto last = lastCheck();
    if (last && last->secsTo(now) < automaticIntervalSeconds && *last <= now) return;
    check(false, now);
}

void Updater::check(bool userInitiated, const QDateTime& now) {
    if (!fetch_) return;
    if (settings_) settings_->setValue(lastCheckKey, now);
    setChecking(true);
    QPointer<Updater> self(this);
    fetch_(feed_, [self, userInitiated](std::optional<QByteArray> body, QString error) {
        if (!self) return;
        self->setChecking(false);
        if (!body) {
            emit self->checkFailed(error, userInitiated);
            return;
        }
        const auto entry = parseFeed(*body);
        if (!entry) {
            emit self->checkFailed(QStringLiteral("The update information could not be read."), userInitiated);
            return;
        }
        if (compareVersions(entry->version, self->currentVersion_) > 0)
            emit self->updateAvailable(*entry, userInitiated);
        else
            emit self->upToDate(userInitiated);
    });
}

}  // namespace veltrop::app
