#include "app/model/batch_status.h"

#include <algorithm>

#include "kit/records/path_key.h"
#include "kit/storage/folder_access.h"

namespace veltrop::app {

namespace fs = std::filesystem;

std::string lastComponent(const fs::path& location) {
    const fs::path standard = records::standardized(location);
    return standard.filename().empty() ? standard.string() : standard.filename().string();
}

bool packageIsOn(const settings::StampConfiguration& configuration) {
    return !configuration.project || configuration.project->includeHandoverPackage;
}

std::vector<records::PhotoRecord> photoRecords(const ModelSnapshot& model) {
    std::vector<records::PhotoRecord> result;
    result.reserve(model.photos.size());
    const records::CorrectionRules rules(model.corrections);
    for (std::size_t i = 0; i < model.photos.size(); ++i)
        result.push_back(records::makeRecord(model.photos[i], static_cast<std::int64_t>(i), model.configuration, rules,
                                             model.expectedRange));
    return result;
}

std::optional<records::PhotoRecord> photoRecord(const ModelSnapshot& model, const fs::path& photo) {
    for (std::size_t i = 0; i < model.photos.size(); ++i) {
        if (model.photos[i].url == photo)
            return records::makeRecord(model.photos[i], static_cast<std::int64_t>(i), model.configuration,
                                       model.corrections, model.expectedRange);
    }
    return std::nullopt;
}

std::size_t exportableCount(const ModelSnapshot& model) {
    if (!settings::needsCaptureDate(model.configuration)) return model.photos.size();
    return exportableCount(model.configuration, photoRecords(model));
}

std::size_t exportableCount(const settings::StampConfiguration& configuration,
                            std::span<const records::PhotoRecord> records) {
    if (!settings::needsCaptureDate(configuration)) return records.size();
    return static_cast<std::size_t>(std::count_if(records.begin(), records.end(), [](const records::PhotoRecord& r) {
        return r.resolvedDate.has_value();
    }));
}

std::size_t needsAttentionCount(const ModelSnapshot& model) {
    const auto all = photoRecords(model);
    return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), records::needsAttention));
}

std::size_t undatedCount(const ModelSnapshot& model) {
    return static_cast<std::size_t>(std::count_if(model.photos.begin(), model.photos.end(),
                                                  [](const records::DiscoveredPhoto& p) { return !p.captureDate; }));
}

std::optional<settings::ConfigurationProblem> configurationProblem(const ModelSnapshot& model) {
    return settings::validate(model.configuration, model.watermarkImageLoaded);
}

std::string retroUnsupportedCharacters(const ModelSnapshot& model) {
    return settings::validatePattern(model.configuration.format.pattern, model.configuration.style.theme).unsupported;
}

ExportFacts exportFacts(const ModelSnapshot& model) { return exportFacts(model, exportableCount(model)); }

ExportFacts exportFacts(const ModelSnapshot& model, std::size_t exportable) {
    return {model.isRunning,           model.photos.size(),           exportable,
            configurationProblem(model), retroUnsupportedCharacters(model), model.expectedRangeIsInverted};
}

std::string exportButtonTitle(const settings::StampConfiguration& configuration) {
    if (packageIsOn(configuration)) return "Export handover package";
    return configuration.timestampEnabled ? "Add Timestamps" : "Add Watermarks";
}

OutputDescription outputDescription(const ModelSnapshot& model) {
    const std::string folderName(settings::defaultOutputFolderName);
    const auto& root = model.configuration.outputRoot;
    if (!packageIsOn(model.configuration)) {
        if (root) {
            std::string label = lastComponent(*root);
            if (!model.hasOutputAccess) label += " \u2014 choose again to allow access";
            return {label, root->string()};
        }
        const std::vector<fs::path> dropped(model.droppedRoots.begin(), model.droppedRoots.end());
        std::string label = storage::ExportFolderAccess::needsChosenOutputFolder(dropped)
                                ? "Choose an output folder when exporting"
                                : folderName + "/ beside the originals";
        return {label, "A " + folderName + " folder is created inside each imported folder, preserving its subfolders. " +
                           "Individual photos require a chosen output folder."};
    }
    if (root)
        return {"New handover folder in " + lastComponent(*root),
                "Each export creates a new handover folder inside " + root->string() + "."};
    return {"Choose a folder for the handover package",
            "Choose a destination for a new folder containing JPEG copies, a contact sheet and a photo index."};
}

}  // namespace veltrop::app
