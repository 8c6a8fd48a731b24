#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "kit/handover/package_checksums.h"
#include "kit/handover/package_verification.h"

namespace veltrop::cli {

namespace {

int runVerify(const Invocation& invocation) {
    const OptionSpec specs[] = {{"--sources", true}};
    auto parsed = parseArguments(invocation.arguments, specs);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.size() != 1) return invocation.usageError("name one handover package folder");

    const std::filesystem::path package = parsed->positionals.front();
    std::error_code error;
    if (!std::filesystem::is_directory(package, error))
        return invocation.usageError("\u201C" + package.string() + "\u201D is not a folder");
    std::optional<std::filesystem::path> sources;
    if (auto folder = parsed->value("--sources")) {
        if (!std::filesystem::is_directory(*folder, error))
            return invocation.usageError("\u201C" + *folder + "\u201D is not a folder");
        sources = *folder;
    }

    const handover::PackageVerification result = handover::verifyPackage(package, sources);
    for (const auto& problem : result.problems) invocation.out << problem.description() << "\n";
    if (result.holds()) {
        invocation.out << "Verified: " << result.filesChecked << " files match " << handover::checksumsFileName;
        if (sources)
            invocation.out << ", " << result.originalsChecked << " originals match " << handover::sourcesFileName;
        invocation.out << "\n";
    } else {
        invocation.out << result.problems.size() << (result.problems.size() == 1 ? " problem" : " problems")
                       << " found\n";
    }
    if (result.fingerprint)
        invocation.out << "Fingerprint (SHA-256 of " << handover::checksumsFileName << "): " << *result.fingerprint
                       << "\n";
    return result.holds() ? exitSuccess : exitFailure;
}

}  // namespace

extern const Command verifyCommand{"verify", "Check a handover package against its checksums",
                                   "usage: veltrop-cli verify [--sources DIR] PACKAGE\n\n"
                                   "Reads every file of a handover package and compares it with Checksums.sha256:\n"
                                   "prints one line per missing, changed or unexpected file. With --sources, also\n"
                                   "checks the originals listed in Sources.sha256, found under DIR by the source\n"
                                   "path of the photo index (DIR is an exported folder or the folder holding it).\n\n"
                                   "The last line is the package's fingerprint, the SHA-256 of Checksums.sha256:\n"
                                   "sent apart from the package, it shows that the list itself was not replaced.\n\n"
                                   "Options:\n"
                                   "  --sources DIR   also check the originals under DIR\n"
                                   "  -h, --help      show this help\n\n"
                                   "Exits 0 when everything matches, 1 otherwise.\n",
                                   runVerify};

}  // namespace veltrop::cli
