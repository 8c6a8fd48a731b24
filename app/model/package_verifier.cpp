#include "app/model/package_verifier.h"

#include <QPointer>

namespace veltrop::app {

PackageVerifier::PackageVerifier(QObject* parent) : QObject(parent) { pool_.setMaxThreadCount(1); }

PackageVerifier::~PackageVerifier() { pool_.waitForDone(); }

void PackageVerifier::start(const std::filesystem::path& package, handover::OriginalFiles originals) {
    const quint64 generation = ++generation_;
    running_ = true;
    result_.reset();
    pool_.start([self = QPointer<PackageVerifier>(this), target = this, generation, package,
                 originals = std::move(originals)] {
        handover::PackageVerification result = handover::verifyPackage(package, originals);
        QMetaObject::invokeMethod(
            target,
            [self, generation, result = std::move(result)]() mutable {
                if (self) self->apply(generation, std::move(result));
            },
            Qt::QueuedConnection);
    });
}

void PackageVerifier::apply(quint64 generation, handover::PackageVerification result) {
    if (generation != generation_) return;
    running_ = false;
    result_ = std::move(result);
    emit finished();
}

std::string verificationText(const handover::PackageVerification& verification) {
    if (verification.holds()) {
        std::string text =
            "Package verified: all " + std::to_string(verification.filesChecked) + " files match Checksums.sha256";
        if (const std::size_t originals = verification.originalsChecked; originals == 1)
            text += "; the original matches Sources.sha256";
        else if (originals > 1)
            text += "; all " + std::to_string(originals) + " originals match Sources.sha256";
        return text + ".";
    }
    const std::size_t count = verification.problems.size();
    std::string text = std::to_string(count) + (count == 1 ? " problem" : " problems") + " found:";
    for (const auto& problem : verification.problems) text += "\n" + problem.description();
    return text;
}

}  // namespace veltrop::app
