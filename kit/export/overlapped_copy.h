#pragma once
// Encoding a copy while its photo is still being decoded. The encoder runs
// on a second thread and follows the decoder row by row; it is held back
// above the stamp until the stamp is drawn, which happens as soon as the
// rows under it are decoded. The copy's bytes are those of decoding,
// drawing and encoding one after the other, in about the time of the
// slower of decoding and encoding.

#include <condition_variable>
#include <expected>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "kit/export/export_failure.h"
#include "kit/export/image_writer.h"
#include "kit/render/renderer.h"

namespace veltrop::exporting {

enum class Overlap {
    whenCoresIdle,  // only while fewer threads stamp than there are cores
    always,
    never,
};

// Counts the calling thread as busy stamping while it lives, so that copies
// are encoded on a second thread only when a core would otherwise be idle.
class StampingThread {
public:
    StampingThread();
    ~StampingThread();
    StampingThread(const StampingThread&) = delete;
    StampingThread& operator=(const StampingThread&) = delete;
};

class OverlappedCopy {
public:
    // Null when the overlap is not wanted, no core is idle, or the render
    // adds a strip below the photo (the encoder would wait for all of it).
    // `request` describes the drawing; its image is not looked at and its
    // orientation must be 1, as the picture arrives upright.
    static std::unique_ptr<OverlappedCopy> start(Overlap overlap, const render::RenderRequest& request,
                                                 std::filesystem::path destination, WriteOptions options);
    ~OverlappedCopy();  // gives up what is unfinished: nothing is written then
    OverlappedCopy(const OverlappedCopy&) = delete;
    OverlappedCopy& operator=(const OverlappedCopy&) = delete;

    // For ImageLoader::loadUpright; the first call starts the encoder.
    void rowsDone(const platform::DecodedImage& sofar, int rows);
    // True once the encoder runs: finish() then writes the copy.
    bool encoding() const { return thread_.joinable(); }

    // Once the whole upright picture is decoded: draws what is not drawn yet
    // and lets the encoder read the rest. The picture is final then.
    [[nodiscard]] std::expected<void, render::RenderError> complete(const image::Bitmap& picture);
    // Waits for the copy to be written.
    [[nodiscard]] std::expected<void, ExportFailure> written();
    // Stops the encoder; nothing is written.
    void abandon();

private:
    OverlappedCopy(const render::RenderRequest& request, std::filesystem::path destination, WriteOptions options);
    bool waitFor(int rows);
    void publish(int rows, bool ended);
    [[nodiscard]] std::expected<void, render::RenderError> draw(const image::Bitmap& picture);

    render::RenderRequest request_;
    std::filesystem::path destination_;
    WriteOptions options_;
    bool spareCore_ = false;  // taken for the encoder; given back when it ends

    // Rows holdTop_ … holdBottom_ − 1 are drawn on; the encoder gets no row
    // from holdTop_ on until they are.
    int holdTop_ = 0, holdBottom_ = 0;
    bool drawn_ = false;
    bool planned_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    int ready_ = 0;      // rows from the top the encoder may read
    int wanted_ = 0;     // rows the encoder waits for
    bool ended_ = false; // no more rows will come
    std::optional<std::expected<void, ImageWriteError>> written_;
    std::thread thread_;
};

}  // namespace veltrop::exporting
