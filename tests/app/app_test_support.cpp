#include "app_test_support.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>

#include "kit/export/image_writer.h"

namespace veltrop::testing {

namespace fs = std::filesystem;

namespace {

void put16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    put16(bytes, value & 0xFFFF);
    put16(bytes, value >> 16);
}

void putEntry(std::vector<std::uint8_t>& bytes, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
              std::uint32_t value) {
    put16(bytes, tag);
    put16(bytes, type);
    put32(bytes, count);
    put32(bytes, value);
}

// Little-endian TIFF: IFD0 with the model and the EXIF pointer, an EXIF IFD
// with DateTimeOriginal, then the texts. Texts are longer than four bytes,
// so they always live in the data area.
std::vector<std::uint8_t> exifBlock(const JpegOptions& options) {
    constexpr std::uint16_t ascii = 2, longType = 4;
    const bool hasModel = options.model.size() >= 4;
    const bool hasDate = options.dateTimeOriginal.has_value();
    const std::uint32_t ifd0Entries = (hasModel ? 1 : 0) + 1;
    const std::uint32_t exifOffset = 8 + 2 + 12 * ifd0Entries + 4;
    const std::uint32_t exifEntries = hasDate ? 1 : 0;
    const std::uint32_t dataOffset = exifOffset + 2 + 12 * exifEntries + 4;
    const std::string model = options.model + '\0';
    const std::string date = options.dateTimeOriginal.value_or("") + '\0';

    std::vector<std::uint8_t> bytes{'I', 'I', 42, 0};
    put32(bytes, 8);
    put16(bytes, ifd0Entries);
    std::uint32_t next = dataOffset;
    if (hasModel) {
        putEntry(bytes, 0x0110, ascii, static_cast<std::uint32_t>(model.size()), next);
        next += static_cast<std::uint32_t>(model.size());
    }
    putEntry(bytes, 0x8769, longType, 1, exifOffset);
    put32(bytes, 0);
    put16(bytes, exifEntries);
    if (hasDate) putEntry(bytes, 0x9003, ascii, static_cast<std::uint32_t>(date.size()), next);
    put32(bytes, 0);
    if (hasModel) bytes.insert(bytes.end(), model.begin(), model.end());
    if (hasDate) bytes.insert(bytes.end(), date.begin(), date.end());
    return bytes;
}

}  // namespace

void writeJpeg(const fs::path& file, const JpegOptions& options) {
    auto bitmap = image::Bitmap::allocate(options.width, options.height);
    ASSERT_TRUE(bitmap);
    for (int y = 0; y < options.height; ++y) {
        std::uint8_t* row = bitmap->row(y);
        for (int x = 0; x < options.width; ++x) {
            row[4 * x + 0] = static_cast<std::uint8_t>(40 + x % 100);
            row[4 * x + 1] = static_cast<std::uint8_t>(90 + y % 100);
            row[4 * x + 2] = 160;
            row[4 * x + 3] = 255;
        }
    }
    exporting::SourceMetadata metadata;
    metadata.exif = exifBlock(options);
    fs::create_directories(file.parent_path());
    auto written = exporting::ImageWriter::write(*bitmap, file, metadata, {});
    ASSERT_TRUE(written) << written.error().description();
}

std::vector<fs::path> ScriptedInteraction::choosePhotos() {
    if (photoAnswers.empty()) return {};
    auto answer = photoAnswers.front();
    photoAnswers.pop_front();
    return answer;
}

std::optional<fs::path> ScriptedInteraction::choosePhotoFolder() {
    if (folderPhotoAnswers.empty()) return std::nullopt;
    auto answer = folderPhotoAnswers.front();
    folderPhotoAnswers.pop_front();
    return answer;
}

std::optional<fs::path> ScriptedInteraction::chooseOutputFolder(const std::string& message,
                                                                const std::optional<fs::path>&) {
    folderQuestions.push_back(message);
    if (folderAnswers.empty()) return std::nullopt;
    auto answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

std::optional<fs::path> ScriptedInteraction::chooseWatermarkImage() {
    if (watermarkAnswers.empty()) return std::nullopt;
    auto answer = watermarkAnswers.front();
    watermarkAnswers.pop_front();
    return answer;
}

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
