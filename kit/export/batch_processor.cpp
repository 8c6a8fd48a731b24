#include "kit/export/batch_processor.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <set>
#include <thread>

#include "kit/export/image_writer.h"
#include "kit/export/output_planner.h"
#include "kit/records/copy_date.h"

namespace veltrop::exporting {

using records::DiscoveredPhoto;

std::size_t BatchSummary::count(FileOutcome::Kind kind) const {
    return static_cast<std::size_t>(
        std::count_if(results.begin(), results.end(), [&](const FileResult& r) { return r.outcome.kind == kind; }));
}

std::vector<std::filesystem::path> BatchSummary::failedSources() const {
    std::vector<std::filesystem::path> sources;
    for (const auto& result : results)
        if (result.outcome.kind == FileOutcome::Kind::failed) sources.push_back(result.source);
    return sources;
}

std::vector<std::filesystem::path> BatchSummary::unfinishedSources() const {
    std::vector<std::filesystem::path> sources;
    for (const auto& result : results)
        if (result.outcome.kind == FileOutcome::Kind::failed || result.outcome.kind == FileOutcome::Kind::notProcessed)
            sources.push_back(result.source);
    return sources;
}

std::string pixelLimitText(double maximumPixelCount) {
    const auto megapixels = static_cast<long long>(maximumPixelCount / 1'000'000);
    return "This photo exceeds the " + std::to_string(megapixels) +
           " MP mobile limit. Export a smaller copy or use Veltrop on Mac.";
}

std::string timestampText(const settings::StampConfiguration& configuration,
                          const std::optional<dates::CaptureDate>& date) {
    if (!settings::drawsTimestamp(configuration) || !date) return {};
    return settings::format(*date, configuration.format.pattern);
}

BatchProcessor::BatchProcessor(int maxConcurrent, std::optional<double> maximumPixelCount, StampStep step)
    : maxConcurrent_(std::max(1, maxConcurrent)),
      maximumPixelCount_(maximumPixelCount),
      step_(step ? std::move(step) : StampStep(stampPhoto)),
      memory_(std::make_shared<MemoryBudget>(defaultBatchMemoryBytes())) {}

FileResult BatchProcessor::process(const StampPlan& plan, const StampJob& job) const {
    FileResult result{plan.photo.url, FileOutcome::notProcessed(), plan.record};
    if (plan.failure) {
        result.outcome = FileOutcome::failed(*plan.failure);
    } else if (!plan.destination) {
        result.outcome = FileOutcome::skippedNoDate();
    } else if (maximumPixelCount_ && plan.photo.pixelSize.width * plan.photo.pixelSize.height > *maximumPixelCount_) {
        result.outcome = FileOutcome::failed(PixelLimitExceeded{*maximumPixelCount_});
    } else {
        try {
            result.outcome = step_(plan, job);
        } catch (const std::exception& error) {
            result.outcome = FileOutcome::failed(UnexpectedFailure{error.what()});
        } catch (...) {
            result.outcome = FileOutcome::failed(UnexpectedFailure{"The photo could not be exported"});
        }
    }
    return result;
}

BatchSummary BatchProcessor::run(const std::vector<DiscoveredPhoto>& photos,
                                 const settings::StampConfiguration& configuration,
                                 const std::optional<image::Bitmap>& watermarkImage,
                                 std::span<const records::DateCorrectionRule> corrections,
                                 const std::optional<records::ExpectedDateRange>& expectedRange,
                                 const Progress& progress) {
    BatchSummary summary;
    const std::size_t count = photos.size();

    if (auto problem = settings::validate(configuration, watermarkImage.has_value())) {
        for (std::size_t i = 0; i < count; ++i) {
            auto record = records::makeRecord(photos[i], static_cast<std::int64_t>(i), configuration, corrections,
                                              expectedRange);
            summary.results.push_back(
                {photos[i].url, FileOutcome::failed(*problem), std::move(record)});
        }
        cancelled_.store(false);
        return summary;
    }

    // Plan every destination before any pixel work, so collisions settle in input order.
    std::vector<std::filesystem::path> sources;
    sources.reserve(count);
    for (const auto& photo : photos) sources.push_back(photo.url);
    OutputPlanner planner(sources);
    const bool dateNeeded = settings::needsCaptureDate(configuration);
    const records::CorrectionRules preparedCorrections(corrections);

    std::vector<StampPlan> plans;
    std::vector<std::optional<std::filesystem::path>> roots(count);
    plans.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const DiscoveredPhoto& photo = photos[i];
        auto record = records::makeRecord(photo, static_cast<std::int64_t>(i), configuration, preparedCorrections,
                                          expectedRange);
        StampPlan plan{photo, record.resolvedDate, std::nullopt, std::nullopt, record};
        if (configuration.writeCorrectedDates)
            plan.copyDate = records::copyDate(photo, records::resolveDate(photo, configuration, preparedCorrections),
                                              configuration);
        if (record.error) {
            plan.failure = *record.error;
        } else if (record.resolvedDate || !dateNeeded) {
            const auto root = settings::outputFolder(configuration, photo.root, photo.rootIsFolder());
            auto destination = planner.plan(root, photo.url, photo.relativeSubpath, photo.url.stem().string(),
                                            plan.date, record.reference, record.project, configuration.naming);
            if (destination) {
                plan.destination = *destination;
                roots[i] = root;
            } else {
                plan.failure = destination.error();
            }
        }
        plans.push_back(std::move(plan));
    }

    // What killed or crashed exports left in the folders this one writes to.
    std::set<std::filesystem::path> folders;
    for (const auto& plan : plans)
        if (plan.destination && !plan.failure) folders.insert(plan.destination->parent_path());
    for (const auto& folder : folders) ImageWriter::removeAbandonedFolders(folder);

    const StampJob job{configuration, watermarkImage, nullptr, memory_.get()};
    thumbnails_ = thumbnailOptions_ ? std::make_shared<KeptThumbnails>(thumbnailOptions_->first,
                                                                       thumbnailOptions_->second)
                                    : nullptr;
    StampJob keeping = job;
    keeping.thumbnails = thumbnails_.get();
    std::vector<std::optional<FileResult>> finishedResults(count);
    std::mutex mutex;
    std::condition_variable_any toWorkers;
    std::condition_variable toRun;
    std::deque<std::size_t> ready, completed;

    // A fixed pool for the whole run: each worker keeps its fonts and other
    // per-thread set-up from one photo to the next. What starts, and when, is
    // still decided on this thread, so progress and cancellation keep their order.
    const auto work = [&](std::stop_token stop) {
        for (;;) {
            std::size_t index;
            {
                std::unique_lock lock(mutex);
                if (!toWorkers.wait(lock, stop, [&] { return !ready.empty(); })) return;
                index = ready.front();
                ready.pop_front();
            }
            FileResult result = process(plans[index], keeping);
            {
                std::lock_guard lock(mutex);
                finishedResults[index] = std::move(result);
                completed.push_back(index);
            }
            toRun.notify_one();
        }
    };
    std::vector<std::jthread> pool;
    const auto workers = std::min(count, static_cast<std::size_t>(maxConcurrent_));
    pool.reserve(workers);
    for (std::size_t i = 0; i < workers; ++i) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads to be had: the ones there are share the photos
        }
    }

    std::size_t next = 0, running = 0, finished = 0;
    auto startNext = [&] {
        if (next >= count || cancelled_.load()) return;
        const std::size_t index = next++;
        ++running;
        if (pool.empty()) {  // no thread at all: do the photo here rather than lose it
            finishedResults[index] = process(plans[index], keeping);
            std::lock_guard lock(mutex);
            completed.push_back(index);
            return;
        }
        {
            std::lock_guard lock(mutex);
            ready.push_back(index);
        }
        toWorkers.notify_one();
    };

    for (int slot = 0; slot < maxConcurrent_; ++slot) startNext();
    while (running > 0) {
        {
            std::unique_lock lock(mutex);
            toRun.wait(lock, [&] { return !completed.empty(); });
            completed.pop_front();
        }
        --running;
        ++finished;
        if (progress) progress(finished);
        startNext();
    }
    pool.clear();  // stops and joins the idle workers

    for (std::size_t i = 0; i < count; ++i) {
        if (finishedResults[i]) {
            summary.results.push_back(std::move(*finishedResults[i]));
        } else {
            summary.results.push_back({plans[i].photo.url, FileOutcome::notProcessed(), plans[i].record});
        }
        const FileResult& result = summary.results.back();
        if (result.outcome.kind == FileOutcome::Kind::stamped && roots[i] &&
            std::find(summary.outputRoots.begin(), summary.outputRoots.end(), *roots[i]) == summary.outputRoots.end())
            summary.outputRoots.push_back(*roots[i]);
    }
    // Consumed here rather than cleared at the start: a cancel that came
    // before the run began must still stop it.
    summary.wasCancelled = cancelled_.exchange(false);
    return summary;
}

}  // namespace veltrop::exporting
