#pragma once
// The help window: how to use Veltrop, privacy, updates and support.

#include <QUrl>
#include <QWidget>

#include <string>
#include <vector>

#include "app/ui/data_locations.h"

namespace veltrop::app {

struct HelpSection {
    std::string heading;
    std::vector<std::string> paragraphs;
};

struct HelpLinks {
    QUrl privacyPolicy;
    QUrl feedbackForm;
    bool updatesConfigured = false;
    DataLocations locations;
    // Built-in addresses, overridden by VELTROP_PRIVACY_URL and VELTROP_FEEDBACK_URL;
    // the folders this run uses.
    static HelpLinks configured(bool updatesConfigured);
};

// The sections in order; the Updates paragraph depends on whether a feed is set.
std::vector<HelpSection> helpSections(const HelpLinks& links);

class HelpView : public QWidget {
    Q_OBJECT
public:
    explicit HelpView(HelpLinks links, QWidget* parent = nullptr);
    QString plainText() const;

private:
    QString text_;
};

}  // namespace veltrop::app
