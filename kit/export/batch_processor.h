#pragma once
// One export: validate, build every record, plan every destination, then
// stamp a few photos at a time with cooperative cancellation. Every input
// gets exactly one result, in input order.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/export/export_failure.h"
#include "kit/image/bitmap.h"
#include "kit/platform/exif_patch.h"
#include "kit/records/discovered_photo.h"
#include "kit/export/kept_thumbnails.h"
#include "kit/export/memory_budget.h"
#include "kit/export/overlapped_copy.h"
#include "kit/records/photo_record.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::exporting {

struct FileOutcome {
    enum class Kind { stamped, failed, skippedNoDate, notProcessed };
    Kind kind = Kind::notProcessed;
    std::filesystem::path destination;     // stamped
    std::optional<ExportFailure> failure;  // failed
    // stamped: the original's coefficients were kept outside the stamp.
    bool lossless = false;
    // stamped: why a copy asked to keep the original's quality was encoded anew.
    std::string losslessFallback;

    static FileOutcome stamped(std::filesystem::path at) { return {Kind::stamped, std::move(at), {}, false, {}}; }
    static FileOutcome failed(ExportFailure why) { return {Kind::failed, {}, std::move(why), false, {}}; }
    static FileOutcome skippedNoDate() { return {Kind::skippedNoDate, {}, {}, false, {}}; }
    static FileOutcome notProcessed() { return {Kind::notProcessed, {}, {}, false, {}}; }

    // The failure's sentence; empty for every other outcome.
    std::string failureText() const { return failure ? description(*failure) : std::string(); }

    bool operator==(const FileOutcome&) const = default;
};

struct FileResult {
    std::filesystem::path source;
    FileOutcome outcome;
    std::optional<records::PhotoRecord> record;

    bool operator==(const FileResult&) const = default;
};

struct BatchSummary {
    std::vector<FileResult> results;
    std::vector<std::filesystem::path> outputRoots;
    bool wasCancelled = false;

    bool operator==(const BatchSummary&) const = default;

    std::size_t count(FileOutcome::Kind kind) const;
    std::vector<std::filesystem::path> failedSources() const;
    // Failed or not processed: what a new export would have to redo.
    std::vector<std::filesystem::path> unfinishedSources() const;
};

struct StampPlan {
    records::DiscoveredPhoto photo;
    std::optional<dates::CaptureDate> date;
    std::optional<std::filesystem::path> destination;
    std::optional<ExportFailure> failure;
    records::PhotoRecord record;
    // The date the copy's metadata records instead of the source's, when asked.
    std::optional<platform::CopyDate> copyDate = std::nullopt;

    bool operator==(const StampPlan&) const = default;
};

// Everything a per-photo step needs besides its plan; shared read-only by all workers.
struct StampJob {
    const settings::StampConfiguration& configuration;
    const std::optional<image::Bitmap>& watermarkImage;
    // When set, each stamped picture is also kept small here.
    KeptThumbnails* thumbnails = nullptr;
    // Reserved from before a photo is decoded; none means no limit.
    MemoryBudget* memory = nullptr;
    // Whether a copy may be encoded on a second thread while it is decoded.
    Overlap overlap = Overlap::whenCoresIdle;
};

// "This photo exceeds the 50 MP mobile limit. …"
std::string pixelLimitText(double maximumPixelCount);

// The stamp text for a plan's date: empty when the timestamp is not drawn.
std::string timestampText(const settings::StampConfiguration& configuration,
                          const std::optional<dates::CaptureDate>& date);

// Load, render, write one planned photo. Never throws.
FileOutcome stampPhoto(const StampPlan& plan, const StampJob& job);

class BatchProcessor {
public:
    // Called on the thread that runs the batch, after each finished photo.
    using Progress = std::function<void(std::size_t finished)>;
    // The work for one planned photo; tests substitute their own to fail or block on cue.
    using StampStep = std::function<FileOutcome(const StampPlan&, const StampJob&)>;

    explicit BatchProcessor(int maxConcurrent = 4, std::optional<double> maximumPixelCount = std::nullopt,
                            StampStep step = stampPhoto);

    // Safe from any thread and from a signal handler (lock-free); photos in
    // flight finish, no new photo starts. A cancel that comes before run()
    // stops that run: each run consumes the request when it returns.
    void cancel() { cancelled_.store(true); }

    int maxConcurrent() const { return maxConcurrent_; }
    std::optional<double> maximumPixelCount() const { return maximumPixelCount_; }
    const StampStep& step() const { return step_; }

    // Keep a small JPEG of every stamped picture in the next runs (for a
    // contact sheet); what the last run kept is then in thumbnails().
    void keepThumbnails(int maxPixelSize, int jpegQuality) { thumbnailOptions_ = {maxPixelSize, jpegQuality}; }
    std::shared_ptr<const KeptThumbnails> thumbnails() const { return thumbnails_; }

    // The memory the photos of a run may hold together (defaultBatchMemoryBytes
    // unless set); a photo that needs more than all of it fails. Set it
    // before run.
    void setMemoryBudget(std::uint64_t bytes) { memory_ = std::make_shared<MemoryBudget>(bytes); }
    std::uint64_t memoryBudget() const { return memory_->total(); }

    BatchSummary run(const std::vector<records::DiscoveredPhoto>& photos, const settings::StampConfiguration& configuration,
                     const std::optional<image::Bitmap>& watermarkImage,
                     std::span<const records::DateCorrectionRule> corrections,
                     const std::optional<records::ExpectedDateRange>& expectedRange, const Progress& progress = {});

private:
    FileResult process(const StampPlan& plan, const StampJob& job) const;

    std::atomic<bool> cancelled_{false};
    int maxConcurrent_;
    std::optional<double> maximumPixelCount_;
    StampStep step_;
    std::optional<std::pair<int, int>> thumbnailOptions_;
    std::shared_ptr<KeptThumbnails> thumbnails_;
    std::shared_ptr<MemoryBudget> memory_;
};

}  // namespace veltrop::exporting
