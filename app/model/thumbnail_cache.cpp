#include "app/model/thumbnail_cache.h"

#include <QPainter>
#include <QThread>

#include <algorithm>

#include "app/model/app_model.h"
#include "kit/export/image_loader.h"

namespace veltrop::app {

namespace {

QString key(const std::filesystem::path& photo) { return QString::fromStdString(photo.string()); }

qsizetype costOf(const QImage& image) { return std::max<qsizetype>(1, image.sizeInBytes() / 1024); }

// Centred in a transparent square, so that names beside thumbnails of any shape line up.
QImage squared(const QImage& image, int side) {
    if (image.isNull()) return image;
    QImage square(side, side, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    const QImage fitted = image.width() > side || image.height() > side
                              ? image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : image;
    QPainter painter(&square);
    painter.drawImage((side - fitted.width()) / 2, (side - fitted.height()) / 2, fitted);
    return square;
}

}  // namespace

QImage ThumbnailCache::decode(const std::filesystem::path& photo, int maxPixelSize) {
    auto loaded = exporting::ImageLoader::loadThumbnail(photo, maxPixelSize, exporting::ThumbnailOrientation::upright);
    if (!loaded) return {};
    return toQImage(loaded->image);
}

ThumbnailCache::ThumbnailCache(Loader loader, int pixelSize, QObject* parent)
    : QObject(parent), loader_(loader ? std::move(loader) : Loader(decode)), pixelSize_(pixelSize),
      cache_(cacheKilobytes) {
    // Two decoders keep the list lively without taking the machine from an export.
    workers_.setMaxThreadCount(2);
    workers_.setThreadPriority(QThread::LowPriority);
}

ThumbnailCache::~ThumbnailCache() {
    waiting_.clear();
    workers_.waitForDone();
}

bool ThumbnailCache::isKnown(const std::filesystem::path& photo) const { return cache_.contains(key(photo)); }

QImage ThumbnailCache::thumbnail(const std::filesystem::path& photo) {
    const QString name = key(photo);
    if (const QImage* image = cache_.object(name)) return *image;
    if (!requested_.contains(name)) {
        requested_.insert(name);
        waiting_.push_front(name);
        while (waiting_.size() > maximumWaiting) {
            requested_.remove(waiting_.back());
            waiting_.pop_back();
        }
        startDecoding();
    }
    return {};
}

void ThumbnailCache::startDecoding() {
    while (inFlight_ < workers_.maxThreadCount() && !waiting_.empty()) {
        const QString photo = waiting_.front();
        waiting_.pop_front();
        ++inFlight_;
        workers_.start([this, photo, loader = loader_, size = pixelSize_] {
            QImage image = squared(loader(std::filesystem::path(photo.toStdString()), size), size);
            QMetaObject::invokeMethod(
                this, [this, photo, image = std::move(image)] { deliver(photo, image); }, Qt::QueuedConnection);
        });
    }
}

void ThumbnailCache::deliver(const QString& photo, const QImage& image) {
    --inFlight_;
    requested_.remove(photo);
    // A photo without a thumbnail is remembered too, as a null image, so it is not decoded again.
    cache_.insert(photo, new QImage(image), costOf(image));
    emit thumbnailReady(photo);
    startDecoding();
}

}  // namespace veltrop::app
