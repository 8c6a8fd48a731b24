#include "kit/export/batch_processor.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "kit/export/output_planner.h"

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
      step_(step ? std::move(step) : StampStep(stampPhoto)) {}

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
    cancelled_.store(false);
    BatchSummary summary;
    const std::size_t count = photos.size();

    if (auto problem = settings::validate(configuration, watermarkImage.has_value())) {
        for (std::size_t i = 0; i < count; ++i) {
            auto record = records::makeRecord(photos[i], static_cast<std::int64_t>(i), configuration, corrections,
                                              expectedRange);
            summary.results.push_back(
                {photos[i].url, FileOutcome::failed(*problem), std::move(record)});
        }
        return summary;
    }

    // Plan every destination before any pixel work, so collisions settle in input order.
    std::vector<std::filesystem::path> sources;
    sources.reserve(count);
    for (const auto& photo : photos) sources.push_back(photo.url);
    OutputPlanner planner(sources);
    const bool dateNeeded = settings::needsCaptureDate(configuration);

    std::vector<StampPlan> plans;
    std::vector<std::optional<std::filesystem::path>> roots(count);
    plans.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const DiscoveredPhoto& photo = photos[i];
        auto record =
            records::makeRecord(photo, static_cast<std::int64_t>(i), configuration, corrections, expectedRange);
        StampPlan plan{photo, record.resolvedDate, std::nullopt, std::nullopt, record};
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

    const StampJob job{configuration, watermarkImage};
    std::vector<std::optional<FileResult>> finishedResults(count);
    std::vector<std::thread> workers(count);
    std::mutex mutex;
    std::condition_variable signal;
    std::deque<std::size_t> completed;

    std::size_t next = 0, running = 0, finished = 0;
    auto startNext = [&] {
        if (next >= count || cancelled_.load()) return;
        const std::size_t index = next++;
        auto work = [&, index] {
            FileResult result = process(plans[index], job);
            std::lock_guard lock(mutex);
            finishedResults[index] = std::move(result);
            completed.push_back(index);
            signal.notify_one();
        };
        try {
            workers[index] = std::thread(work);
        } catch (const std::system_error&) {
            work();  // no thread to be had: do the photo here rather than lose it
        }
        ++running;
    };

    for (int slot = 0; slot < maxConcurrent_; ++slot) startNext();
    while (running > 0) {
        std::size_t index;
        {
            std::unique_lock lock(mutex);
            signal.wait(lock, [&] { return !completed.empty(); });
            index = completed.front();
            completed.pop_front();
        }
        if (workers[index].joinable()) workers[index].join();
        --running;
        ++finished;
        if (progress) progress(finished);
        startNext();
    }

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
    summary.wasCancelled = cancelled_.load();
    return summary;
}

}  // namespace veltrop::exporting
