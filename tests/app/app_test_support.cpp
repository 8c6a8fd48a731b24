#include "app_test_support.h"

#include <QTest>

#include <gtest/gtest.h>

#include "kit/export/image_fixtures.h"
#include "kit/export/image_writer.h"

namespace veltrop::testing {

namespace fs = std::filesystem;

// The date in the Exif IFD, the model in IFD0, over a patterned picture.
void writeJpeg(const fs::path& file, const JpegOptions& options) {
    TiffBlock tiff;
    if (!options.model.empty()) tiff.ifd0 = {ascii(0x0110, options.model)};
    if (options.dateTimeOriginal) tiff.exif = {ascii(0x9003, *options.dateTimeOriginal)};
    exporting::SourceMetadata metadata;
    metadata.exif = tiff.build();
    auto written = exporting::ImageWriter::write(patternBitmap(options.width, options.height), file, metadata, {});
    ASSERT_TRUE(written) << written.error().description();
}

namespace {

template <class Answer>
Answer nextAnswer(std::deque<Answer>& answers) {
    if (answers.empty()) return {};
    Answer answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

}  // namespace

std::vector<fs::path> ScriptedInteraction::choosePhotos() { return nextAnswer(photoAnswers); }

std::optional<fs::path> ScriptedInteraction::choosePhotoFolder() { return nextAnswer(folderPhotoAnswers); }

std::optional<fs::path> ScriptedInteraction::chooseOutputFolder(const std::string& message,
                                                                const std::optional<fs::path>&) {
    folderQuestions.push_back(message);
    return nextAnswer(folderAnswers);
}

std::optional<fs::path> ScriptedInteraction::chooseWatermarkImage() { return nextAnswer(watermarkAnswers); }

ModelHarness::ModelHarness()
    : defaults(std::make_shared<QSettings>(QString::fromStdString((dir / "defaults.ini").string()),
                                           QSettings::IniFormat)) {
    fs::create_directories(photos());
}

app::AppModel& ModelHarness::make() { return make(presetStore); }

app::AppModel& ModelHarness::make(std::shared_ptr<storage::PresetStoring> presets) {
    model.reset();
    app::AppStores stores;
    stores.presets = std::move(presets);
    stores.watermarks = watermarkStore;
    if (withFolderAccessStore) stores.folderAccess = storage::FolderAccessStore(dir / "folder-access.json");
    model = std::make_unique<app::AppModel>(std::move(stores), defaults, user);
    return *model;
}

bool waitFor(const std::function<bool()>& predicate, int timeoutMilliseconds) {
    return QTest::qWaitFor(predicate, timeoutMilliseconds);
}

bool waitForExport(app::AppModel& model) {
    return waitFor([&] { return !model.isRunning(); });
}

}  // namespace veltrop::testing
