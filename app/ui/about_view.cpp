#include "app/ui/about_view.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/pane_parts.h"

namespace veltrop::app {

std::vector<LibraryLicence> libraryLicences() {
    return {
        {QStringLiteral("Qt ") + QString::fromLatin1(qVersion()), QStringLiteral("GNU LGPL version 3")},
        {QStringLiteral("libjpeg-turbo"), QStringLiteral("BSD-style (IJG licence and modified BSD licence)")},
        {QStringLiteral("libheif"), QStringLiteral("GNU LGPL version 3")},
        {QStringLiteral("libpng"), QStringLiteral("PNG Reference Library licence")},
        {QStringLiteral("Exiv2"), QStringLiteral("GNU GPL version 2 or later")},
        {QStringLiteral("Little CMS (lcms2)"), QStringLiteral("MIT licence")},
        {QStringLiteral("cairo"), QStringLiteral("GNU LGPL version 2.1 or Mozilla Public Licence 1.1")},
        {QStringLiteral("Pango"), QStringLiteral("GNU LGPL version 2 or later")},
        {QStringLiteral("HarfBuzz"), QStringLiteral("MIT licence")},
        {QStringLiteral("FreeType"), QStringLiteral("FreeType licence (BSD-style)")},
        {QStringLiteral("Fontconfig"), QStringLiteral("MIT-style licence")},
        {QStringLiteral("GLib"), QStringLiteral("GNU LGPL version 2.1 or later")},
        {QStringLiteral("utf8proc"), QStringLiteral("MIT licence")},
        {QStringLiteral("ICU"), QStringLiteral("Unicode licence (ICU)")},
        {QStringLiteral("nlohmann::json"), QStringLiteral("MIT licence")},
    };
}

AboutView::AboutView(QString version, DataLocations locations, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Veltrop"));
    setMinimumWidth(520);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 16);
    QStringList plain;

    auto* name = new QLabel(QStringLiteral("Veltrop"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    column->addWidget(name);
    const QString versionLine = QStringLiteral("Version ") + version;
    auto* versionLabel = new QLabel(versionLine, this);
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(versionLabel);
    const QString purpose =
        QStringLiteral("Stamps capture dates on copies of photos and prepares handover packages. Originals are never "
                       "changed.");
    column->addWidget(makeNote(purpose, this));
    plain << QStringLiteral("Veltrop") << versionLine << purpose;

    auto addTable = [&](const QString& heading, const std::vector<std::pair<QString, QString>>& rows) {
        column->addWidget(makeHeader(heading, this));
        plain << heading;
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(16);
        int row = 0;
        for (const auto& [left, right] : rows) {
            auto* key = new QLabel(left, this);
            auto* value = new QLabel(right, this);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            value->setWordWrap(true);
            grid->addWidget(key, row, 0, Qt::AlignTop);
            grid->addWidget(value, row, 1);
            plain << left + QStringLiteral(": ") + right;
            ++row;
        }
        grid->setColumnStretch(1, 1);
        column->addLayout(grid);
    };
    addTable(QStringLiteral("Where Veltrop keeps its data"),
             {{QStringLiteral("Settings"), locations.settingsFolder},
              {QStringLiteral("Presets, watermark images and remembered folders"), locations.dataFolder}});
    std::vector<std::pair<QString, QString>> libraries;
    for (const LibraryLicence& entry : libraryLicences()) libraries.emplace_back(entry.library, entry.licence);
    addTable(QStringLiteral("Libraries and their licences"), libraries);

    column->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
    text_ = plain.join(QLatin1Char('\n'));
}

}  // namespace veltrop::app
