#include "app/ui/veltrop_app.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>

#include "app/ui/qt_text.h"
#include "app/ui/update_settings_view.h"

#ifndef VELTROP_VERSION
#define VELTROP_VERSION "0.0.0"
#endif

namespace veltrop::app {

namespace {

const QString geometryKey = QStringLiteral("window/geometry");
const QString stateKey = QStringLiteral("window/state");
const QString mainSplitterKey = QStringLiteral("window/mainSplitter");
const QString batchSplitterKey = QStringLiteral("window/batchSplitter");

}  // namespace

MainWindow::MainWindow(std::shared_ptr<QSettings> settings, QWidget* parent)
    : QMainWindow(parent), settings_(std::move(settings)) {
    setWindowTitle(QStringLiteral("Veltrop"));
    setObjectName(QStringLiteral("main"));
    setMinimumSize(960, 600);
}

void MainWindow::setContent(ContentView* content) {
    content_ = content;
    setCentralWidget(content);
}

void MainWindow::restoreLayout() {
    if (!settings_ || !settings_->contains(geometryKey) || !restoreGeometry(settings_->value(geometryKey).toByteArray())) {
        QSize size(1280, 800);
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->availableSize() * 0.95);
        resize(size);
    }
    if (!settings_ || !content_) return;
    content_->mainSplitter()->restoreState(settings_->value(mainSplitterKey).toByteArray());
    content_->batchSplitter()->restoreState(settings_->value(batchSplitterKey).toByteArray());
}

void MainWindow::saveLayout() {
    if (!settings_) return;
    settings_->setValue(geometryKey, saveGeometry());
    if (content_) {
        settings_->setValue(mainSplitterKey, content_->mainSplitter()->saveState());
        settings_->setValue(batchSplitterKey, content_->batchSplitter()->saveState());
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveLayout();
    QMainWindow::closeEvent(event);
}

VeltropApp::VeltropApp(Parts parts)
    : interaction_(parts.interaction ? std::move(parts.interaction) : std::make_shared<QtUserInteraction>()),
      settings_(parts.settings ? std::move(parts.settings) : std::make_shared<QSettings>()),
      model_(parts.model ? std::move(parts.model) : std::make_unique<AppModel>(interaction_)) {
    model_->setUserInteraction(interaction_);
    updater_ = parts.updater ? std::move(parts.updater)
                             : std::make_unique<Updater>(Updater::configuredFeed(), QStringLiteral(VELTROP_VERSION),
                                                         settings_, Updater::networkFetch(this));
    window_ = std::make_unique<MainWindow>(settings_);
    content_ = new ContentView(*model_, window_.get());
    window_->setContent(content_);
    if (auto desktop = std::dynamic_pointer_cast<QtUserInteraction>(interaction_)) {
        desktop->setWindow(window_.get());
        desktop->setBeforeDiscovery([this] { content_->beginBusy(); });
    }
    buildMenus();

    connect(updater_.get(), &Updater::updateAvailable, this, &VeltropApp::presentUpdate);
    connect(updater_.get(), &Updater::upToDate, this, [this](bool userInitiated) {
        if (!userInitiated) return;
        QMessageBox::information(window_.get(), QStringLiteral("Veltrop"),
                                 QStringLiteral("Veltrop %1 is the newest version.").arg(updater_->currentVersion()));
    });
    connect(updater_.get(), &Updater::checkFailed, this, [this](const QString& reason, bool userInitiated) {
        if (!userInitiated) return;
        QMessageBox::warning(window_.get(), QStringLiteral("Veltrop"),
                             QStringLiteral("Veltrop could not check for updates. ") + reason);
    });
}

VeltropApp::~VeltropApp() {
    if (auto desktop = std::dynamic_pointer_cast<QtUserInteraction>(interaction_)) {
        desktop->setBeforeDiscovery({});
        desktop->setWindow(nullptr);
    }
}

void VeltropApp::buildMenus() {
    QMenu* file = window_->menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(qs(dropZoneTexts::choosePhotos), content_, &ContentView::choosePhotos);
    open->setShortcut(QKeySequence::Open);
    QAction* openFolder = file->addAction(qs(dropZoneTexts::chooseFolder), content_, &ContentView::choosePhotoFolder);
    openFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    QAction* exportAction = file->addAction(QStringLiteral("Export"), content_, &ContentView::startExport);
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    QAction* clear = file->addAction(QStringLiteral("Clear Batch"), model_.get(), &AppModel::clearBatch);
    file->addSeparator();
    QAction* review = file->addAction(qs(contentTexts::reviewButtonLabel), this, [this] { model_->setShowDateReview(true); });
    QAction* preview = file->addAction(QStringLiteral("Preview batch"), this, [this] { model_->setShowBatchPreview(true); });
    file->addSeparator();
    QAction* settings = file->addAction(qs("Settings\u2026"), this, &VeltropApp::showSettings);
    settings->setShortcut(QKeySequence::Preferences);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit"), window_.get(), &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* help = window_->menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* helpAction = help->addAction(QStringLiteral("Veltrop Help && Privacy"), this, &VeltropApp::showHelp);
    helpAction->setShortcut(QKeySequence::HelpContents);
    checkForUpdates_ = help->addAction(qs(updateTexts::checkCommand), updater_.get(), &Updater::checkForUpdates);
    checkForUpdates_->setEnabled(updater_->canCheckForUpdates());
    connect(updater_.get(), &Updater::canCheckForUpdatesChanged, checkForUpdates_,
            [this] { checkForUpdates_->setEnabled(updater_->canCheckForUpdates()); });
    help->addSeparator();
    QAction* about = help->addAction(QStringLiteral("&About Veltrop"), this, &VeltropApp::showAbout);
    about->setMenuRole(QAction::AboutRole);

    // Escape cancels a running export; sheets take Escape first while open.
    auto* cancel = new QShortcut(QKeySequence(Qt::Key_Escape), window_.get());
    connect(cancel, &QShortcut::activated, content_, &ContentView::cancelExport);

    auto syncActions = [=, this] {
        const bool running = model_->isRunning();
        const bool hasPhotos = !model_->photos().empty();
        open->setEnabled(!running);
        openFolder->setEnabled(!running);
        exportAction->setEnabled(model_->canExport());
        clear->setEnabled(!running && hasPhotos);
        review->setEnabled(!running && hasPhotos);
        preview->setEnabled(!running && hasPhotos);
    };
    connect(model_.get(), &AppModel::changed, this, syncActions);
    syncActions();
}

HelpView& VeltropApp::helpWindow() {
    if (!help_) {
        help_ = std::make_unique<HelpView>(HelpLinks::configured(updater_->hasFeed()));
        help_->setObjectName(QStringLiteral("help"));
        help_->setWindowTitle(QStringLiteral("Veltrop Help"));
    }
    return *help_;
}

QTabWidget& VeltropApp::settingsWindow() {
    if (!settingsWindow_) {
        settingsWindow_ = std::make_unique<QTabWidget>();
        settingsWindow_->setWindowTitle(QStringLiteral("Veltrop Settings"));
        settingsWindow_->addTab(new UpdateSettingsView(*updater_, settingsWindow_.get()), QStringLiteral("Updates"));
        settingsWindow_->resize(560, 320);
    }
    return *settingsWindow_;
}

AboutView& VeltropApp::aboutWindow() {
    if (!about_) {
        about_ = std::make_unique<AboutView>(QStringLiteral(VELTROP_VERSION), DataLocations::current());
        about_->setObjectName(QStringLiteral("about"));
    }
    return *about_;
}

void VeltropApp::showAbout() {
    AboutView& about = aboutWindow();
    about.show();
    about.raise();
    about.activateWindow();
}

void VeltropApp::showHelp() {
    HelpView& help = helpWindow();
    help.show();
    help.raise();
    help.activateWindow();
}

void VeltropApp::showSettings() {
    QTabWidget& settings = settingsWindow();
    settings.show();
    settings.raise();
    settings.activateWindow();
}

void VeltropApp::show() {
    window_->restoreLayout();
    window_->show();
    QMetaObject::invokeMethod(updater_.get(), [this] { updater_->checkIfDue(); }, Qt::QueuedConnection);
}

void VeltropApp::addLocations(const std::vector<std::filesystem::path>& locations) {
    content_->addLocations(locations);
}

void VeltropApp::presentUpdate(const UpdateFeedEntry& entry, bool userInitiated) {
    if (!userInitiated && updater_->automaticallyDownloads()) {
        QDesktopServices::openUrl(entry.page);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Veltrop"),
                                QStringLiteral("Veltrop %1 is available; you have %2.")
                                    .arg(entry.version, updater_->currentVersion()),
                                QMessageBox::NoButton, window_.get());
    box->setInformativeText(QStringLiteral("Open its download page in your browser?"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton* openPage = box->addButton(QStringLiteral("Open download page"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    const QUrl page = entry.page;
    connect(openPage, &QPushButton::clicked, this, [page] { QDesktopServices::openUrl(page); });
    box->open();
}

}  // namespace veltrop::app
