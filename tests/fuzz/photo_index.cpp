// The photo index writer. The input describes up to eight results (fields
// separated by 0x1E, a byte choosing each result's kind and whether it has a
// record). The written text must parse back as CSV, independently of the
// writer: a header line and one line per result, eighteen fields each,
// every field the writer's value (made valid UTF-8, a formula defused).

#include "harness.h"
#include "kit/handover/photo_index.h"
#include "kit/platform/utf8_text.h"

namespace veltrop::fuzz {

namespace {

namespace fs = std::filesystem;
using exporting::FileOutcome;
namespace PhotoIndex = handover::PhotoIndex;

// Every field quoted, quotes doubled, lines ended by CR LF; nullopt for text
// that breaks these rules.
std::optional<std::vector<std::vector<std::string>>> parseCsv(std::string_view text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] != '"') return std::nullopt;
        std::string field;
        ++at;
        while (true) {
            if (at >= text.size()) return std::nullopt;
            if (text[at] == '"') {
                if (at + 1 < text.size() && text[at + 1] == '"') {
                    field += '"';
                    at += 2;
                    continue;
                }
                ++at;
                break;
            }
            field += text[at++];
        }
        row.push_back(std::move(field));
        if (text.substr(at).starts_with(",")) {
            ++at;
        } else if (text.substr(at).starts_with("\r\n")) {
            at += 2;
            rows.push_back(std::move(row));
            row.clear();
        } else {
            return std::nullopt;
        }
    }
    if (!row.empty()) return std::nullopt;
    return rows;
}

exporting::FileResult resultFrom(FieldReader& input, const fs::path& package) {
    const std::uint8_t choice = input.byte();
    exporting::FileResult result;
    result.source = fs::path("/photos") / input.text();
    switch (choice % 4) {
        case 0: result.outcome = FileOutcome::stamped(package / input.text()); break;
        case 1: result.outcome = FileOutcome::failed(veltrop::exporting::UnexpectedFailure{input.text()}); break;
        case 2: result.outcome = FileOutcome::skippedNoDate(); break;
        default: result.outcome = FileOutcome::notProcessed(); break;
    }
    if (choice & 4) {
        records::PhotoRecord record;
        record.sourceName = input.text();
        record.sourcePath = input.text();
        record.reference = input.text();
        record.project = input.text();
        record.location = input.text();
        record.camera = input.text();
        record.correction = input.text();
        record.warnings = {input.text(), input.text()};
        record.dateFields = {{dates::CaptureDateSource::dateTimeOriginal, input.text()},
                             {dates::CaptureDateSource::tiffDateTime, input.text()}};
        record.recordedDate = dates::CaptureDateReader::parseExifText(record.dateFields[0].raw,
                                                                      dates::CaptureDateSource::dateTimeOriginal);
        record.resolvedDate = record.recordedDate;
        result.record = std::move(record);
    }
    return result;
}

}  // namespace

int fuzzPhotoIndex(const std::uint8_t* data, std::size_t size) {
    FieldReader input(data, size);
    const fs::path package = scratchFolder() / "package";
    settings::StampConfiguration configuration;
    configuration.removeGPS = input.byte() % 2 == 1;
    exporting::BatchSummary summary;
    const int count = input.byte() % 9;
    for (int i = 0; i < count; ++i) summary.results.push_back(resultFrom(input, package));

    const std::string text = PhotoIndex::text(summary, package, configuration);
    FUZZ_CHECK(text.starts_with("\xEF\xBB\xBF"));
    FUZZ_CHECK(platform::validUtf8(text) == text);
    const auto rows = parseCsv(std::string_view(text).substr(3));
    FUZZ_CHECK(rows.has_value());
    FUZZ_CHECK(rows->size() == summary.results.size() + 1);
    FUZZ_CHECK(std::ranges::equal((*rows)[0], PhotoIndex::headers));
    for (std::size_t i = 0; i < summary.results.size(); ++i) {
        const auto& parsed = (*rows)[i + 1];
        const auto values = PhotoIndex::row(summary.results[i], package, configuration);
        FUZZ_CHECK(parsed.size() == PhotoIndex::headers.size() && values.size() == parsed.size());
        for (std::size_t f = 0; f < parsed.size(); ++f) {
            const std::string value = platform::validUtf8(values[f]);
            const bool defused = parsed[f] != value;
            FUZZ_CHECK(!defused || parsed[f] == "'" + value);
            const bool formulaFirst =
                !value.empty() && std::string_view("=+-@").find(value.front()) != std::string_view::npos;
            FUZZ_CHECK(defused || !formulaFirst);
        }
    }
    return 0;
}

}  // namespace veltrop::fuzz
