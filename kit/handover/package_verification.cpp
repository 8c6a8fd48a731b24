#include "kit/handover/package_verification.h"

#include <fstream>
#include <functional>
#include <set>

#include "kit/handover/package_checksums.h"
#include "kit/platform/sha256.h"

namespace veltrop::handover {

namespace fs = std::filesystem;

namespace {

// A path (4096 bytes at most on Linux) escaped twice over, with its digest.
constexpr std::size_t longestLine = 16 * 1024;

struct ListedFile {
    std::string digest;
    std::string path;
};

struct ChecksumList {
    bool readable = false;
    std::vector<ListedFile> entries;
    std::vector<std::size_t> malformedLines;
};

// Relative, without "." or ".." parts: a list must not send the check outside its folder.
bool staysInside(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    for (const auto& part : fs::path(path)) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == "..") return false;
    }
    return true;
}

// Line by line with a cap, so that a damaged list cannot take unbounded memory.
ChecksumList readList(const fs::path& file) {
    ChecksumList list;
    std::ifstream in(file, std::ios::binary);
    if (!in) return list;
    list.readable = true;
    std::string line;
    std::size_t number = 0;
    bool tooLong = false;
    char c;
    auto finishLine = [&] {
        ++number;
        if (!tooLong && !line.empty() && line.front() != '\\' && line.back() == '\r') line.pop_back();
        auto entry = tooLong ? std::nullopt : parseChecksumLine(line);
        if (entry && staysInside(entry->path))
            list.entries.push_back({std::move(entry->digest), std::move(entry->path)});
        else
            list.malformedLines.push_back(number);
        line.clear();
        tooLong = false;
    };
    while (in.get(c)) {
        if (c == '\n') {
            finishLine();
        } else if (line.size() < longestLine) {
            line.push_back(c);
        } else {
            tooLong = true;
        }
    }
    if (in.bad()) list.readable = false;
    if (!line.empty() || tooLong) finishLine();
    return list;
}

enum class FileState { same, missing, changed, unreadable };

FileState check(const fs::path& file, const std::string& digest) {
    std::error_code error;
    const auto status = fs::symlink_status(file, error);
    if (error || !fs::exists(status)) return FileState::missing;
    if (!fs::is_regular_file(status)) return FileState::changed;
    auto actual = platform::sha256OfFile(file);
    if (!actual) return FileState::unreadable;
    return platform::hexText(*actual) == digest ? FileState::same : FileState::changed;
}

void addMalformed(PackageVerification& result, std::string_view listName, const ChecksumList& list) {
    for (std::size_t line : list.malformedLines)
        result.problems.push_back({PackageProblem::Kind::malformedLine, std::string(listName), line});
}

}  // namespace

std::string PackageProblem::description() const {
    switch (kind) {
        case Kind::noList: return path + " is missing or cannot be read";
        case Kind::malformedLine: return path + " line " + std::to_string(line) + " is not a checksum line";
        case Kind::missing: return "Missing: " + path;
        case Kind::changed: return "Changed: " + path;
        case Kind::unreadable: return "Unreadable: " + path;
        case Kind::unexpected: return "Unexpected file: " + path;
        case Kind::missingOriginal: return "Missing original: " + path;
        case Kind::changedOriginal: return "Changed original: " + path;
        case Kind::unreadableOriginal: return "Unreadable original: " + path;
    }
    return {};
}

namespace {

// Sources are listed under the exported folder's name ("site/a.jpg"): the
// folder given may hold that folder, or be it.
fs::path originalFor(const fs::path& originals, const std::string& listed) {
    const fs::path direct = originals / listed;
    std::error_code error;
    if (fs::exists(direct, error)) return direct;
    fs::path folder = fs::absolute(originals, error).lexically_normal();
    if (error) return direct;
    if (folder.filename().empty()) folder = folder.parent_path();
    const fs::path relative = fs::path(listed).lexically_normal();
    if (relative.is_relative() && !relative.empty() && *relative.begin() == folder.filename())
        return folder.parent_path() / relative;
    return direct;
}

// `locate` gives an original's file by its listed path; without it the originals are not checked.
PackageVerification verifyWith(const fs::path& package,
                               const std::function<std::optional<fs::path>(const std::string&)>& locate) {
    using Kind = PackageProblem::Kind;
    PackageVerification result;

    const fs::path listFile = package / checksumsFileName;
    const ChecksumList list = readList(listFile);
    if (!list.readable) {
        result.problems.push_back({Kind::noList, std::string(checksumsFileName)});
    } else {
        if (auto fingerprint = platform::sha256OfFile(listFile)) result.fingerprint = platform::hexText(*fingerprint);
        addMalformed(result, checksumsFileName, list);
        std::set<std::string> listed;
        for (const ListedFile& entry : list.entries) {
            if (!listed.insert(entry.path).second) continue;
            ++result.filesChecked;
            switch (check(package / entry.path, entry.digest)) {
                case FileState::same: break;
                case FileState::missing: result.problems.push_back({Kind::missing, entry.path}); break;
                case FileState::changed: result.problems.push_back({Kind::changed, entry.path}); break;
                case FileState::unreadable: result.problems.push_back({Kind::unreadable, entry.path}); break;
            }
        }
        for (const PackageItem& item : packageItems(package))
            if (item.path != checksumsFileName && !listed.contains(item.path))
                result.problems.push_back({Kind::unexpected, item.path});
    }

    if (locate) {
        const ChecksumList sources = readList(package / sourcesFileName);
        if (!sources.readable) {
            result.problems.push_back({Kind::noList, std::string(sourcesFileName)});
            return result;
        }
        addMalformed(result, sourcesFileName, sources);
        for (const ListedFile& entry : sources.entries) {
            ++result.originalsChecked;
            const std::optional<fs::path> original = locate(entry.path);
            switch (original ? check(*original, entry.digest) : FileState::missing) {
                case FileState::same: break;
                case FileState::missing: result.problems.push_back({Kind::missingOriginal, entry.path}); break;
                case FileState::changed: result.problems.push_back({Kind::changedOriginal, entry.path}); break;
                case FileState::unreadable: result.problems.push_back({Kind::unreadableOriginal, entry.path}); break;
            }
        }
    }
    return result;
}

}  // namespace

PackageVerification verifyPackage(const fs::path& package, const std::optional<fs::path>& originals) {
    if (!originals) return verifyWith(package, {});
    return verifyWith(package, [&](const std::string& listed) { return originalFor(*originals, listed); });
}

PackageVerification verifyPackage(const fs::path& package, const OriginalFiles& originals) {
    std::map<std::string, std::size_t> seen;
    return verifyWith(package, [&](const std::string& listed) -> std::optional<fs::path> {
        const auto found = originals.find(listed);
        const std::size_t nth = seen[listed]++;
        if (found == originals.end() || nth >= found->second.size()) return std::nullopt;
        return found->second[nth];
    });
}

}  // namespace veltrop::handover
