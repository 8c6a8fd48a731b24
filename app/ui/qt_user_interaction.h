#pragma once
// The desktop's own panels and file manager behind the model's questions.

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/model/user_interaction.h"

namespace veltrop::app {

class QtUserInteraction final : public UserInteraction {
public:
    // Panels open as children of window, which may be null.
    explicit QtUserInteraction(QWidget* window = nullptr) : window_(window) {}
    void setWindow(QWidget* window) { window_ = window; }
    // Runs after the photos panel was answered with a choice, before the
    // model's discovery holds the thread, so the window can show it is busy.
    void setBeforeDiscovery(std::function<void()> hook) { beforeDiscovery_ = std::move(hook); }

    // The two photo panels, configured but not yet shown.
    static std::unique_ptr<QFileDialog> makePhotosDialog(QWidget* parent);
    static std::unique_ptr<QFileDialog> makePhotoFolderDialog(QWidget* parent);

    std::vector<std::filesystem::path> choosePhotos() override;
    std::optional<std::filesystem::path> choosePhotoFolder() override;
    std::optional<std::filesystem::path> chooseOutputFolder(
        const std::string& message, const std::optional<std::filesystem::path>& start) override;
    std::optional<std::filesystem::path> chooseWatermarkImage() override;
    // Asks the file manager over D-Bus to select the items; without one,
    // opens their folders.
    void reveal(const std::vector<std::filesystem::path>& locations) override;
    void open(const std::filesystem::path& file) override;

private:
    QPointer<QWidget> window_;
    std::function<void()> beforeDiscovery_;
};

}  // namespace veltrop::app
