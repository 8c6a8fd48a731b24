#pragma once
// Checking a written handover package against its checksum lists, and the
// originals it was exported from against Sources.sha256, in the background:
// every file is read once, which takes a while for a large package. The
// result comes back on the thread that started the check.

#include <QObject>
#include <QThreadPool>

#include <filesystem>
#include <optional>
#include <string>

#include "kit/handover/package_verification.h"

namespace veltrop::app {

namespace packageCheckTexts {
inline constexpr const char* button = "Verify package";
inline constexpr const char* running = "Checking every file against Checksums.sha256\u2026";
inline constexpr const char* tooltip =
    "Check every file of the package against Checksums.sha256 and the originals against Sources.sha256";
}  // namespace packageCheckTexts

class PackageVerifier : public QObject {
    Q_OBJECT
public:
    explicit PackageVerifier(QObject* parent = nullptr);
    // Waits for a check in progress; its result is dropped.
    ~PackageVerifier() override;

    // Starts a check; a check already running is left to finish and its result ignored.
    void start(const std::filesystem::path& package, handover::OriginalFiles originals = {});
    bool isRunning() const { return running_; }
    const std::optional<handover::PackageVerification>& result() const { return result_; }

signals:
    void finished();

private:
    void apply(quint64 generation, handover::PackageVerification result);

    quint64 generation_ = 0;
    bool running_ = false;
    std::optional<handover::PackageVerification> result_;
    QThreadPool pool_;  // last: destroyed first
};

// "Package verified: all 14 files match Checksums.sha256; all 3 originals
// match Sources.sha256." or the problems, one per line.
std::string verificationText(const handover::PackageVerification& verification);

}  // namespace veltrop::app
