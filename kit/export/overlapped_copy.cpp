#include "kit/export/overlapped_copy.h"

#include <algorithm>
#include <atomic>
#include <system_error>

namespace veltrop::exporting {

namespace {

// Threads stamping a photo or encoding one alongside, in this process.
std::atomic<unsigned> busyThreads{0};

bool takeSpareCore() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    unsigned busy = busyThreads.load();
    while (busy < cores)
        if (busyThreads.compare_exchange_weak(busy, busy + 1)) return true;
    return false;
}

}  // namespace

StampingThread::StampingThread() { ++busyThreads; }
StampingThread::~StampingThread() { --busyThreads; }

std::unique_ptr<OverlappedCopy> OverlappedCopy::start(Overlap overlap, const render::RenderRequest& request,
                                                      std::filesystem::path destination, WriteOptions options) {
    if (overlap == Overlap::never || request.orientation != 1) return nullptr;
    // Without a timestamp there is no strip, whatever the mode says.
    if (request.style.mode == settings::StampMode::dataStrip && request.timestampEnabled) return nullptr;
    const bool spare = takeSpareCore();
    if (!spare && overlap == Overlap::whenCoresIdle) return nullptr;
    std::unique_ptr<OverlappedCopy> copy(new OverlappedCopy(request, std::move(destination), options));
    copy->spareCore_ = spare;
    return copy;
}

OverlappedCopy::OverlappedCopy(const render::RenderRequest& request, std::filesystem::path destination,
                               WriteOptions options)
    : request_(request), destination_(std::move(destination)), options_(options) {
    request_.image = {};
}

OverlappedCopy::~OverlappedCopy() {
    abandon();
    if (spareCore_) --busyThreads;
}

void OverlappedCopy::rowsDone(const platform::DecodedImage& sofar, int rows) {
    const image::Bitmap& picture = sofar.bitmap;
    if (!planned_) {
        planned_ = true;
        // Only where the drawing goes must the encoder wait for it.
        auto plan = render::Renderer::plan(request_, picture.width, picture.height);
        if (!plan) return;  // the render fails the same way after decoding
        holdTop_ = picture.height;
        for (const auto& area : plan->areas) {
            holdTop_ = std::min(holdTop_, area.top);
            holdBottom_ = std::max(holdBottom_, area.bottom());
        }
        drawn_ = plan->areas.empty();
        // The metadata is copied now: the decoder's copy moves on when it returns.
        try {
            thread_ = std::thread([this, picture, metadata = sofar.header.metadata] {
                auto written = ImageWriter::write(picture, destination_, metadata, options_,
                                                  [this](int wanted) { return waitFor(wanted); });
                std::lock_guard lock(mutex_);
                written_ = std::move(written);
            });
        } catch (const std::system_error&) {
            return;  // no thread to be had: the copy is written after decoding
        }
    }
    if (!thread_.joinable()) return;
    if (!drawn_ && rows >= holdBottom_) {
        // Drawn here, while decoding goes on below: the encoder has read
        // nothing from holdTop_ on, and the decoder writes only below.
        if (!draw(picture)) return;  // finish() draws again and reports it
    }
    // The last row waits for complete(): a photo may still fail after its
    // last row (at its end marker), and then no copy may be finished.
    publish(std::min(drawn_ ? rows : std::min(rows, holdTop_), picture.height - 1), false);
}

std::expected<void, render::RenderError> OverlappedCopy::draw(const image::Bitmap& picture) {
    image::Bitmap window = picture;  // the same pixels
    auto drawn = render::Renderer::renderWindow(request_, picture.width, picture.height, window, 0, 0);
    if (drawn) drawn_ = true;
    return drawn;
}

std::expected<void, render::RenderError> OverlappedCopy::complete(const image::Bitmap& picture) {
    if (!drawn_) {
        auto drawn = draw(picture);
        if (!drawn) {
            abandon();
            return drawn;
        }
    }
    publish(picture.height, true);
    return {};
}

std::expected<void, ExportFailure> OverlappedCopy::written() {
    if (thread_.joinable()) thread_.join();
    if (!written_) return std::unexpected(ImageWriteError{ImageWriteError::Kind::writeFailed, destination_, {}});
    if (!*written_) return std::unexpected(written_->error());
    return {};
}

void OverlappedCopy::abandon() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        ready_ = std::min(ready_, 0);  // the encoder reads no further row
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void OverlappedCopy::publish(int rows, bool ended) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        ready_ = std::max(ready_, rows);
        ended_ = ended;
        wake = ended || ready_ >= wanted_;
    }
    if (wake) changed_.notify_all();
}

bool OverlappedCopy::waitFor(int rows) {
    std::unique_lock lock(mutex_);
    wanted_ = rows;
    changed_.wait(lock, [&] { return ready_ >= rows || ended_; });
    return ready_ >= rows;
}

}  // namespace veltrop::exporting
