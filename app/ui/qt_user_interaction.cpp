#include "app/ui/qt_user_interaction.h"

#include <QAbstractItemView>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QUrl>

namespace veltrop::app {

namespace fs = std::filesystem;

namespace {

QString toQString(const fs::path& location) { return QString::fromStdString(location.string()); }
fs::path toPath(const QString& text) { return fs::path(text.toStdString()); }

}  // namespace

std::vector<fs::path> QtUserInteraction::choosePhotos() {
    // Qt's panels choose either files or one folder; the widget-based panel in
    // folder mode shows files too, and its Choose button is rewired to take
    // whatever is selected, files and folders alike.
    QFileDialog dialog(window_, QString::fromUtf8(panelTexts::choosePhotosMessage));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setNameFilter(QStringLiteral("Photos (*.jpg *.jpeg *.heic *.heif *.JPG *.JPEG *.HEIC *.HEIF)"));
    dialog.setLabelText(QFileDialog::Accept, QString::fromUtf8(panelTexts::chooseButton));
    for (auto* view : dialog.findChildren<QAbstractItemView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);

    std::vector<fs::path> chosen;
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        if (auto* accept = buttons->button(QDialogButtonBox::Open)) {
            accept->disconnect();
            QObject::connect(accept, &QPushButton::clicked, &dialog, [&dialog, &chosen] {
                QSet<QString> seen;
                for (auto* view : dialog.findChildren<QAbstractItemView*>()) {
                    if (!view->selectionModel()) continue;
                    for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
                        const QString path = index.data(QFileSystemModel::FilePathRole).toString();
                        if (!path.isEmpty() && !seen.contains(path)) {
                            seen.insert(path);
                            chosen.push_back(toPath(path));
                        }
                    }
                }
                if (chosen.empty()) {
                    for (const QString& path : dialog.selectedFiles()) chosen.push_back(toPath(path));
                }
                static_cast<QDialog&>(dialog).done(QDialog::Accepted);
            });
        }
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    if (chosen.empty()) {
        for (const QString& path : dialog.selectedFiles()) chosen.push_back(toPath(path));
    }
    if (!chosen.empty() && beforeDiscovery_) beforeDiscovery_();
    return chosen;
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
