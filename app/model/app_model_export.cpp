// AppModel's export: the output folder it needs, starting and cancelling a
// run, and what happens to the batch afterwards.
#include "app/model/app_model.h"

#include <algorithm>
#include <system_error>

#include "app/model/model_thread.h"
#include "kit/handover/handover_package.h"
#include "kit/records/path_key.h"

namespace veltrop::app {

namespace fs = std::filesystem;
using records::DiscoveredPhoto;
using settings::StampConfiguration;

bool AppModel::ensureOutputAccess() {
    const fs::path root = records::standardized(*configuration_.outputRoot);
    if (!outputAccess_ || records::standardized(outputAccess_->url()) != root) restoreOutputAccess();
    std::error_code error;
    return outputAccess_ && outputAccess_->started() && fs::is_directory(root, error);
}

bool AppModel::prepareOutput() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!configuration_.outputRoot) {
        if (packageIsOn(configuration_))
            return chooseOutputFolder(modelTexts::choosePackageFolder);
        if (storage::ExportFolderAccess::needsChosenOutputFolder(droppedRoots_))
            return chooseOutputFolder(modelTexts::chooseOutputFolder);
        const bool dateNeeded = settings::needsCaptureDate(configuration_);
        const auto& all = records();
        std::vector<fs::path> folders;
        for (std::size_t i = 0; i < photos_.size(); ++i) {
            if (dateNeeded && !all[i].resolvedDate) continue;
            fs::path folder = settings::outputFolder(configuration_, photos_[i].root, photos_[i].rootIsFolder());
            if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
        }
        for (const fs::path& folder : folders) {
            if (!storage::ExportFolderAccess::probeWritable(folder))
                return chooseOutputFolder(modelTexts::chooseWritableFolder);
        }
        return true;
    }
    if (!ensureOutputAccess()) return chooseOutputFolder(modelTexts::chooseOutputFolder);
    if (!storage::ExportFolderAccess::probeWritable(*configuration_.outputRoot))
        return chooseOutputFolder(modelTexts::chooseWritableFolder);
    return true;
}

void AppModel::startExport() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!canExport() || !prepareOutput() || !canExport()) return;

    StampConfiguration copy = configuration_;
    std::optional<fs::path> package;
    if (packageIsOn(copy)) {
        if (!copy.outputRoot) return;
        const std::string title = copy.project ? copy.project->title : std::string();
        auto created = handover::HandoverPackage::createPackageFolder(*copy.outputRoot, title);
        if (!created) {
            setFileAccessMessage(modelTexts::handoverFolderFailed + created.error().description());
            return;
        }
        package = *created;
        copy.outputRoot = handover::HandoverPackage::photosFolder(*created);
    }

    isRunning_ = true;
    summary_.reset();
    handoverResult_.reset();
    completedCount_ = 0;
    totalCount_ = static_cast<qint64>(photos_.size());
    run_ = std::make_unique<ExportRun>(processorFactory_(), package.has_value());
    announce(&AppModel::runningChanged);
    announce(&AppModel::summaryChanged);
    announce(&AppModel::progressChanged);

    ExportJob job{photos_, std::move(copy), corrections_, expectedRange(), watermarkImage_, std::move(package), {}};
    for (const auto& [location, entry] : inputAccess_) job.access.push_back(entry);
    if (outputAccess_) job.access.push_back(outputAccess_);
    run_->start(workers_, *this, std::move(job),
                {[this](std::size_t finished, std::size_t total) { applyProgress(finished, total); },
                 [this] { applyPreparingReports(); },
                 [this](ExportResult result) { finishExport(std::move(result)); }});
}

void AppModel::applyProgress(std::size_t finished, std::size_t total) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!isRunning_) return;
    const auto completed = static_cast<qint64>(finished);
    const auto all = static_cast<qint64>(total);
    if (completed == completedCount_ && all == totalCount_) return;
    completedCount_ = completed;
    totalCount_ = all;
    announce(&AppModel::progressChanged);
}

void AppModel::applyPreparingReports() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!isRunning_ || isPreparingReports_) return;
    isPreparingReports_ = true;
    announce(&AppModel::preparingReportsChanged);
}

void AppModel::finishExport(ExportResult result) {
    VELTROP_ASSERT_MODEL_THREAD();
    summary_ = std::move(result.summary);
    handoverResult_ = std::move(result.handover);
    announce(&AppModel::summaryChanged);
    if (isPreparingReports_) {
        isPreparingReports_ = false;
        announce(&AppModel::preparingReportsChanged);
    }
    isRunning_ = false;
    run_.reset();
    announce(&AppModel::runningChanged);
}

void AppModel::cancel() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (run_) run_->cancel();
}

void AppModel::keepUnfinishedPhotos() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (isRunning_ || !summary_) return;
    const auto unfinished = summary_->unfinishedSources();
    std::set<fs::path> done;
    for (const auto& result : summary_->results) {
        if (std::find(unfinished.begin(), unfinished.end(), result.source) == unfinished.end())
            done.insert(result.source);
    }
    excludedCompletedPhotos_.insert(done.begin(), done.end());
    announce(&AppModel::excludedCompletedPhotosChanged);

    // The selection moves to the nearest photo that stays, preferring the ones after it.
    std::optional<fs::path> nextSelection;
    const auto selected = std::find_if(photos_.begin(), photos_.end(),
                                       [&](const DiscoveredPhoto& p) { return selection_ && p.url == *selection_; });
    for (auto it = selected; it != photos_.end() && !nextSelection; ++it)
        if (!done.contains(it->url)) nextSelection = it->url;
    for (auto it = selected; it != photos_.begin() && !nextSelection;)
        if (!done.contains((--it)->url)) nextSelection = it->url;

    std::erase_if(photos_, [&](const DiscoveredPhoto& p) { return done.contains(p.url); });
    ++photosRevision_;
    announce(&AppModel::photosChanged);
    if (nextSelection != selection_) {
        selection_ = nextSelection;
        announce(&AppModel::selectionChanged);
    }
    selectFirstIfGone();
    setSummary(std::nullopt);
    refreshPreview();
}

void AppModel::reveal(const std::vector<fs::path>& locations) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (interaction_ && !locations.empty()) interaction_->reveal(locations);
}

void AppModel::open(const fs::path& file) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (interaction_) interaction_->open(file);
}

}  // namespace veltrop::app
