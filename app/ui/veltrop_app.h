#pragma once
// The application: one model, the main window, the help and settings
// windows, the menus and the updater, all living for the whole run.

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QTabWidget>

#include <filesystem>
#include <memory>
#include <vector>

#include "app/model/app_model.h"
#include "app/ui/about_view.h"
#include "app/ui/content_view.h"
#include "app/ui/help_view.h"
#include "app/ui/qt_user_interaction.h"
#include "app/ui/updater.h"

namespace veltrop::app {

// Remembers its size and splitter positions.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(std::shared_ptr<QSettings> settings, QWidget* parent = nullptr);
    void setContent(ContentView* content);
    void restoreLayout();
    void saveLayout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::shared_ptr<QSettings> settings_;
    ContentView* content_ = nullptr;
};

class VeltropApp : public QObject {
    Q_OBJECT
public:
    struct Parts {
        std::unique_ptr<AppModel> model;                 // the standard model when null
        std::shared_ptr<UserInteraction> interaction;    // the desktop's panels when null
        std::shared_ptr<QSettings> settings;             // window layout and update choices
        std::unique_ptr<Updater> updater;                // configured feed and network when null
    };

    explicit VeltropApp(Parts parts = {});
    ~VeltropApp() override;

    AppModel& model() const { return *model_; }
    MainWindow& mainWindow() const { return *window_; }
    ContentView& content() const { return *content_; }
    Updater& updater() const { return *updater_; }
    QAction* checkForUpdatesAction() const { return checkForUpdates_; }
    // Opened on demand and kept.
    HelpView& helpWindow();
    QTabWidget& settingsWindow();
    AboutView& aboutWindow();

    void show();
    // Paths from the command line, once the window is up.
    void addLocations(const std::vector<std::filesystem::path>& locations);

public slots:
    void showHelp();
    void showSettings();
    void showAbout();

private:
    void buildMenus();
    void presentUpdate(const UpdateFeedEntry& entry, bool userInitiated);

    std::shared_ptr<UserInteraction> interaction_;
    std::shared_ptr<QSettings> settings_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<MainWindow> window_;
    ContentView* content_;
    std::unique_ptr<HelpView> help_;
    std::unique_ptr<QTabWidget> settingsWindow_;
    std::unique_ptr<AboutView> about_;
    QAction* checkForUpdates_ = nullptr;
};

}  // namespace veltrop::app
