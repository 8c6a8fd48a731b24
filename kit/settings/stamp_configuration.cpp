#include "kit/settings/stamp_configuration.h"

#include "kit/dates/exif_fields.h"

namespace veltrop::settings {

const StampConfiguration& defaultConfiguration() {
    static const StampConfiguration value;
    return value;
}

bool drawsTimestamp(const StampConfiguration& configuration) {
    return configuration.timestampEnabled &&
           (configuration.style.mode == StampMode::overlay || configuration.strip.showTimestamp);
}

bool needsCaptureDate(const StampConfiguration& configuration) {
    return drawsTimestamp(configuration) || templateRequiresCaptureDate(configuration.naming.template_);
}

const PhotoProject& effectiveProject(const StampConfiguration& configuration) {
    return configuration.project ? *configuration.project : defaultProject();
}

std::filesystem::path outputFolder(const StampConfiguration& configuration,
                                   const std::filesystem::path& importRoot, bool rootIsFolder) {
    if (configuration.outputRoot) return *configuration.outputRoot;
    const std::filesystem::path base = rootIsFolder ? importRoot : importRoot.parent_path();
    return base / std::string(defaultOutputFolderName);
}

std::string_view description(ConfigurationProblem problem) {
    switch (problem) {
        case ConfigurationProblem::nothingToDraw:
            return "Turn on the timestamp or a watermark \u2014 otherwise the copies would be identical";
        case ConfigurationProblem::watermarkTextEmpty:
            return "Enter watermark text or turn off the watermark";
        case ConfigurationProblem::watermarkImageMissing:
            return "That watermark image is missing \u2014 choose another or turn off the watermark";
        case ConfigurationProblem::timestampEmpty:
            return "Choose a date format that produces text or turn off the timestamp";
        case ConfigurationProblem::invalidFilenameTemplate:
            return "Use a filename or subfolders within the output folder, without '..' or an absolute path";
        case ConfigurationProblem::hiddenFilename:
            return "Use a filename, subfolders, reference prefix and project title that do not begin with '.' "
                   "\u2014 such copies would be hidden";
    }
    return {};
}

std::optional<ConfigurationProblem> validate(const StampConfiguration& configuration,
                                             bool watermarkImageAvailable) {
    if (!isValidTemplate(configuration.naming.template_)) return ConfigurationProblem::invalidFilenameTemplate;
    if (namesHiddenItems(configuration.naming, effectiveProject(configuration)))
        return ConfigurationProblem::hiddenFilename;
    if (configuration.watermark) {
        if (configuration.watermark->source.textValue()) {
            if (!hasContent(*configuration.watermark)) return ConfigurationProblem::watermarkTextEmpty;
        } else if (!watermarkImageAvailable) {
            return ConfigurationProblem::watermarkImageMissing;
        }
    }
    if (!configuration.timestampEnabled)
        return configuration.watermark ? std::nullopt : std::optional(ConfigurationProblem::nothingToDraw);
    if (drawsTimestamp(configuration) &&
        dates::trimmed(format(sampleDate(), configuration.format.pattern)).empty())
        return ConfigurationProblem::timestampEmpty;
    return std::nullopt;
}

}  // namespace veltrop::settings
