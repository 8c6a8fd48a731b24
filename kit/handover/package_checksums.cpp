#include "kit/handover/package_checksums.h"

#include <algorithm>

#include "kit/handover/handover_package.h"

namespace veltrop::handover {

namespace fs = std::filesystem;
using exporting::BatchProcessor;
using exporting::FileOutcome;
using platform::Sha256Digest;

namespace {

fs::path keyOf(const fs::path& location) { return location.lexically_normal(); }

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::optional<std::string> unescaped(std::string_view path) {
    std::string text;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '\\') {
            text.push_back(path[i]);
            continue;
        }
        if (++i == path.size()) return std::nullopt;
        switch (path[i]) {
            case '\\': text.push_back('\\'); break;
            case 'n': text.push_back('\n'); break;
            case 'r': text.push_back('\r'); break;
            default: return std::nullopt;
        }
    }
    return text;
}

// The index's "Source file" text for a result.
std::string sourcePathOf(const exporting::FileResult& result) {
    return result.record ? result.record->sourcePath : result.source.filename().string();
}

}  // namespace

void PackageDigests::add(const fs::path& copy, const Entry& entry) {
    std::lock_guard lock(mutex_);
    entries_.insert_or_assign(keyOf(copy), entry);
}

std::optional<PackageDigests::Entry> PackageDigests::find(const fs::path& copy) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(keyOf(copy));
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

BatchProcessor::StampStep hashingStep(BatchProcessor::StampStep step, std::shared_ptr<PackageDigests> digests) {
    return [step = std::move(step), digests = std::move(digests)](const exporting::StampPlan& plan,
                                                                  const exporting::StampJob& job) {
        FileOutcome outcome = step(plan, job);
        if (outcome.kind != FileOutcome::Kind::stamped) return outcome;
        // A copy that cannot be read back here is hashed again when the list is written.
        auto copy = platform::sha256OfFile(outcome.destination);
        if (!copy) return outcome;
        auto source = platform::sha256OfFile(plan.photo.url);
        digests->add(outcome.destination, {*copy, source ? std::optional(*source) : std::nullopt});
        return outcome;
    };
}

std::shared_ptr<BatchProcessor> hashingProcessor(const BatchProcessor& processor,
                                                 std::shared_ptr<PackageDigests> digests) {
    return std::make_shared<BatchProcessor>(processor.maxConcurrent(), processor.maximumPixelCount(),
                                            hashingStep(processor.step(), std::move(digests)));
}

std::string ChecksumError::description() const {
    switch (kind) {
        case Kind::cannotReadFile: return "Could not read " + name + " to record its checksum";
        case Kind::cannotReadOriginal: return "Could not read the original " + name + " to record its checksum";
        case Kind::cannotWrite: return "Could not save " + name + "; existing files were preserved";
    }
    return {};
}

std::string checksumLine(const Sha256Digest& digest, std::string_view path) {
    const bool escape = path.find_first_of("\\\n\r") != std::string_view::npos;
    std::string line = escape ? "\\" : "";
    line += platform::hexText(digest) + "  ";
    for (char c : path) {
        if (escape && c == '\\')
            line += "\\\\";
        else if (escape && c == '\n')
            line += "\\n";
        else if (escape && c == '\r')
            line += "\\r";
        else
            line.push_back(c);
    }
    return line + "\n";
}

std::optional<ChecksumEntry> parseChecksumLine(std::string_view line) {
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped) line.remove_prefix(1);
    if (line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) return std::nullopt;
    ChecksumEntry entry;
    for (char c : line.substr(0, 64)) {
        if (!isHexDigit(c)) return std::nullopt;
        entry.digest.push_back(static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c));
    }
    const std::string_view path = line.substr(66);
    if (escaped) {
        auto text = unescaped(path);
        if (!text) return std::nullopt;
        entry.path = std::move(*text);
    } else {
        entry.path = std::string(path);
    }
    return entry;
}

std::vector<PackageItem> packageItems(const fs::path& package) {
    std::vector<PackageItem> items;
    std::error_code error;
    fs::recursive_directory_iterator it(package, fs::directory_options::none, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code statusError;
        const auto status = it->symlink_status(statusError);
        if (!statusError && fs::is_directory(status)) continue;
        items.push_back(
            {it->path().lexically_relative(package).generic_string(), !statusError && fs::is_regular_file(status)});
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return items;
}

OriginalFiles listedOriginals(const exporting::BatchSummary& summary) {
    OriginalFiles originals;
    for (const auto& result : summary.results)
        if (result.outcome.kind == FileOutcome::Kind::stamped) originals[sourcePathOf(result)].push_back(result.source);
    return originals;
}

std::vector<ChecksumError> writeChecksums(const exporting::BatchSummary& summary, const fs::path& package,
                                          const PackageDigests* digests) {
    std::vector<ChecksumError> errors;
    auto known = [&](const fs::path& copy) { return digests ? digests->find(copy) : std::nullopt; };

    std::string sources;
    for (const auto& result : summary.results) {
        if (result.outcome.kind != FileOutcome::Kind::stamped) continue;
        std::optional<Sha256Digest> digest;
        if (auto entry = known(result.outcome.destination)) digest = entry->source;
        if (!digest) {
            if (auto read = platform::sha256OfFile(result.source)) digest = *read;
        }
        if (digest)
            sources += checksumLine(*digest, sourcePathOf(result));
        else
            errors.push_back({ChecksumError::Kind::cannotReadOriginal, sourcePathOf(result)});
    }
    if (!HandoverPackage::safeSave(sources, package / sourcesFileName))
        errors.push_back({ChecksumError::Kind::cannotWrite, std::string(sourcesFileName)});

    std::string checksums;
    for (const PackageItem& item : packageItems(package)) {
        if (item.path == checksumsFileName || !item.regular) continue;
        const fs::path file = package / item.path;
        std::optional<Sha256Digest> digest;
        if (auto entry = known(file)) digest = entry->copy;
        if (!digest) {
            if (auto read = platform::sha256OfFile(file)) digest = *read;
        }
        if (digest)
            checksums += checksumLine(*digest, item.path);
        else
            errors.push_back({ChecksumError::Kind::cannotReadFile, item.path});
    }
    if (!HandoverPackage::safeSave(checksums, package / checksumsFileName))
        errors.push_back({ChecksumError::Kind::cannotWrite, std::string(checksumsFileName)});
    return errors;
}

}  // namespace veltrop::handover
