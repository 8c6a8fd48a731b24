#pragma once
// The results sheet's "Verify package": a button that checks the package
// against its checksum lists, and the originals it came from, in the
// background and shows what it found.

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <filesystem>

#include "app/model/package_verifier.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

class PackageCheckView : public QWidget {
    Q_OBJECT
public:
    PackageCheckView(std::filesystem::path package, handover::OriginalFiles originals, QWidget* parent);

    QPushButton* button() const { return button_; }
    QString resultText() const { return result_->text(); }
    const PackageVerifier& verifier() const { return verifier_; }

private:
    void showResult();

    std::filesystem::path package_;
    handover::OriginalFiles originals_;
    PackageVerifier verifier_;
    QPushButton* button_;
    QLabel* result_;
};

}  // namespace veltrop::app
