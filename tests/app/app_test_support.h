#pragma once
// Fixtures for the application tests: small dated JPEGs, a scripted user and
// a model over temporary stores.

#include <QSettings>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model/app_model.h"
#include "kit/storage/preset_store.h"
#include "kit/storage/watermark_store.h"
#include "support/test_support.h"

namespace veltrop::testing {

struct JpegOptions {
    int width = 64;
    int height = 48;
    std::optional<std::string> dateTimeOriginal = "2024:05:14 09:30:15";  // EXIF form
    std::string model;                                                     // camera model, empty for none
};

inline JpegOptions sized(int width, int height) {
    JpegOptions options;
    options.width = width;
    options.height = height;
    return options;
}
inline JpegOptions taken(std::optional<std::string> date, std::string model = "") {
    JpegOptions options;
    options.dateTimeOriginal = std::move(date);
    options.model = std::move(model);
    return options;
}
inline JpegOptions undated() { return taken(std::nullopt); }
inline JpegOptions byCamera(std::string model) { return taken(JpegOptions().dateTimeOriginal, std::move(model)); }

inline records::DateCorrectionRule shiftRule(records::DateCorrectionScope scope, std::int64_t seconds) {
    records::DateCorrectionRule rule;
    rule.scope = std::move(scope);
    rule.offsetSeconds = seconds;
    return rule;
}

// The configuration with the handover package on or off and a project title.
inline settings::StampConfiguration withPackage(settings::StampConfiguration configuration, bool on,
                                                std::string title = "Bridge") {
    configuration.project = settings::defaultProject();
    configuration.project->includeHandoverPackage = on;
    configuration.project->title = std::move(title);
    return configuration;
}

// Changes the model's configuration in place.
inline void edit(app::AppModel& model, const std::function<void(settings::StampConfiguration&)>& change) {
    auto configuration = model.configuration();
    change(configuration);
    model.setConfiguration(configuration);
}

// A JPEG written through the image writer, with the date and model in its EXIF block.
void writeJpeg(const std::filesystem::path& file, const JpegOptions& options = {});

// Answers the model's questions from queues; unscripted questions are cancelled.
class ScriptedInteraction final : public app::UserInteraction {
public:
    std::deque<std::vector<std::filesystem::path>> photoAnswers;
    std::deque<std::optional<std::filesystem::path>> folderPhotoAnswers;
    std::deque<std::optional<std::filesystem::path>> folderAnswers;
    std::deque<std::optional<std::filesystem::path>> watermarkAnswers;

    std::vector<std::string> folderQuestions;
    std::vector<std::vector<std::filesystem::path>> revealed;
    std::vector<std::filesystem::path> opened;

    std::vector<std::filesystem::path> choosePhotos() override;
    std::optional<std::filesystem::path> choosePhotoFolder() override;
    std::optional<std::filesystem::path> chooseOutputFolder(
        const std::string& message, const std::optional<std::filesystem::path>& start) override;
    std::optional<std::filesystem::path> chooseWatermarkImage() override;
    void reveal(const std::vector<std::filesystem::path>& locations) override { revealed.push_back(locations); }
    void open(const std::filesystem::path& file) override { opened.push_back(file); }
};

// A model over in-memory stores, a folder-access file and an INI settings file in a temporary folder.
struct ModelHarness {
    TempDir dir;
    std::shared_ptr<storage::InMemoryPresetStore> presetStore = std::make_shared<storage::InMemoryPresetStore>();
    std::shared_ptr<storage::InMemoryWatermarkStore> watermarkStore =
        std::make_shared<storage::InMemoryWatermarkStore>();
    std::shared_ptr<QSettings> defaults;
    std::shared_ptr<ScriptedInteraction> user = std::make_shared<ScriptedInteraction>();
    bool withFolderAccessStore = true;
    std::unique_ptr<app::AppModel> model;

    ModelHarness();
    std::filesystem::path photos() const { return dir / "photos"; }
    app::AppModel& make();
    app::AppModel& make(std::shared_ptr<storage::PresetStoring> presets);
};

// Runs the event loop until the predicate holds; false after the timeout.
bool waitFor(const std::function<bool()>& predicate, int timeoutMilliseconds = 20000);

// Waits for the export that the model is running to finish.
bool waitForExport(app::AppModel& model);

}  // namespace veltrop::testing
