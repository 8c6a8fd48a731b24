#include "app/ui/qt_user_interaction.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileDialog>
#include <QProcess>
#include <QSet>
#include <QUrl>

namespace veltrop::app {

namespace fs = std::filesystem;

namespace {

QString toQString(const fs::path& location) { return QString::fromStdString(location.string()); }
fs::path toPath(const QString& text) { return fs::path(text.toStdString()); }

}  // namespace

std::unique_ptr<QFileDialog> QtUserInteraction::makePhotosDialog(QWidget* parent) {
    auto dialog = std::make_unique<QFileDialog>(parent, QString::fromUtf8(panelTexts::choosePhotosMessage));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilters({QStringLiteral("Photos (*.jpg *.jpeg *.heic *.heif *.JPG *.JPEG *.HEIC *.HEIF)"),
                            QStringLiteral("All files (*)")});
    dialog->setLabelText(QFileDialog::Accept, QString::fromUtf8(panelTexts::chooseButton));
    return dialog;
}

std::unique_ptr<QFileDialog> QtUserInteraction::makePhotoFolderDialog(QWidget* parent) {
    auto dialog = std::make_unique<QFileDialog>(parent, QString::fromUtf8(panelTexts::choosePhotoFolderMessage));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setLabelText(QFileDialog::Accept, QString::fromUtf8(panelTexts::chooseButton));
    return dialog;
}

// The dialogs keep the platform's own panel (through the XDG desktop portal
// where one runs), so a sandboxed install can reach the user's files.
std::vector<fs::path> QtUserInteraction::choosePhotos() {
    auto dialog = makePhotosDialog(window_);
    if (dialog->exec() != QDialog::Accepted) return {};
    std::vector<fs::path> chosen;
    for (const QString& path : dialog->selectedFiles()) chosen.push_back(toPath(path));
    if (!chosen.empty() && beforeDiscovery_) beforeDiscovery_();
    return chosen;
}

std::optional<fs::path> QtUserInteraction::choosePhotoFolder() {
    auto dialog = makePhotoFolderDialog(window_);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    if (beforeDiscovery_) beforeDiscovery_();
    return toPath(dialog->selectedFiles().front());
}

std::optional<fs::path> QtUserInteraction::chooseOutputFolder(const std::string& message,
                                                              const std::optional<fs::path>& start) {
    QFileDialog dialog(window_, QString::fromStdString(message));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, QString::fromUtf8(panelTexts::chooseButton));
    if (start) dialog.setDirectory(toQString(*start));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return toPath(dialog.selectedFiles().front());
}

std::optional<fs::path> QtUserInteraction::chooseWatermarkImage() {
    QFileDialog dialog(window_, QString::fromUtf8(panelTexts::chooseWatermarkMessage));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral(
        "Images (*.png *.jpg *.jpeg *.tif *.tiff *.heic *.heif *.PNG *.JPG *.JPEG *.TIF *.TIFF *.HEIC *.HEIF)"));
    dialog.setLabelText(QFileDialog::Accept, QString::fromUtf8(panelTexts::chooseButton));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return toPath(dialog.selectedFiles().front());
}

void QtUserInteraction::reveal(const std::vector<fs::path>& locations) {
    if (locations.empty()) return;
    QStringList uris;
    for (const auto& location : locations) uris << QUrl::fromLocalFile(toQString(location)).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
    if (reply.type() == QDBusMessage::ReplyMessage) return;

    // No file manager service: open each distinct folder instead.
    QSet<QString> folders;
    for (const auto& location : locations) {
        std::error_code error;
        const fs::path folder = fs::is_directory(location, error) ? location : location.parent_path();
        const QString text = toQString(folder);
        if (folders.contains(text)) continue;
        folders.insert(text);
        QProcess::startDetached(QStringLiteral("xdg-open"), {text});
    }
}

void QtUserInteraction::open(const fs::path& file) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(file))))
        QProcess::startDetached(QStringLiteral("xdg-open"), {toQString(file)});
}

}  // namespace veltrop::app
