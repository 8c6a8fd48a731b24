#pragma once
// Small thumbnails for the photo list, decoded off the GUI thread only when a
// row asks for one, newest request first, and kept in a bounded cache.

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <deque>
#include <filesystem>
#include <functional>

namespace veltrop::app {

class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    // Decodes one thumbnail at most maxPixelSize on its longer side, upright;
    // a null image when the photo cannot be decoded. Runs on a worker thread.
    using Loader = std::function<QImage(const std::filesystem::path& photo, int maxPixelSize)>;

    static constexpr int defaultPixelSize = 80;
    // Requests beyond this many wait no longer: rows scrolled past are not decoded.
    static constexpr std::size_t maximumWaiting = 128;
    static constexpr qsizetype cacheKilobytes = 48 * 1024;

    // Without a loader, the kit's thumbnail decoder.
    explicit ThumbnailCache(Loader loader = {}, int pixelSize = defaultPixelSize, QObject* parent = nullptr);
    // Drops waiting requests and waits for the decodes in flight.
    ~ThumbnailCache() override;

    // The thumbnail when it is ready, centred in a transparent square of
    // pixelSize; otherwise a null image, and the photo is asked for (once)
    // unless it is known to have none.
    QImage thumbnail(const std::filesystem::path& photo);
    bool isKnown(const std::filesystem::path& photo) const;
    int pixelSize() const { return pixelSize_; }
    // Nothing waits or decodes.
    bool idle() const { return inFlight_ == 0 && waiting_.empty(); }

    static QImage decode(const std::filesystem::path& photo, int maxPixelSize);

signals:
    void thumbnailReady(const QString& photo);

private:
    void startDecoding();
    void deliver(const QString& photo, const QImage& image);

    Loader loader_;
    int pixelSize_;
    QCache<QString, QImage> cache_;
    std::deque<QString> waiting_;  // newest first
    QSet<QString> requested_;      // waiting or in flight
    int inFlight_ = 0;
    // Declared last: destroyed first, so no decode outlives the fields above.
    QThreadPool workers_;
};

}  // namespace veltrop::app
