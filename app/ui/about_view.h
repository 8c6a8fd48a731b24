#pragma once
// The About window: the version, where Veltrop keeps its data and the
// licences of the libraries it is built from.

#include <QDialog>
#include <QString>

#include <vector>

#include "app/ui/data_locations.h"

namespace veltrop::app {

struct LibraryLicence {
    QString library;
    QString licence;
    bool operator==(const LibraryLicence&) const = default;
};

// The libraries the application and its logic library link, with their licences.
std::vector<LibraryLicence> libraryLicences();

class AboutView : public QDialog {
    Q_OBJECT
public:
    AboutView(QString version, DataLocations locations, QWidget* parent = nullptr);
    QString plainText() const { return text_; }

private:
    QString text_;
};

}  // namespace veltrop::app
