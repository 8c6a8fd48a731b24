#pragma once
// The preset picker, its actions menu, the name sheet and the recovery flow.

#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include "app/model/app_model.h"
#include "app/ui/name_sheet.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

namespace presetTexts {
inline constexpr const char* recoveryRow =
    "Your original presets are protected. You can export with the built-ins, or back up the original file and "
    "start fresh.";
inline constexpr const char* recoveryQuestion = "Back up the original file and start fresh?";
inline constexpr const char* recoveryMessage =
    "The original file will be kept beside your new presets. To use presets from a newer app version, cancel and "
    "open that version instead.";
inline constexpr const char* recoveryConfirm = "Back up and reset presets";
}  // namespace presetTexts

class PresetBar : public QWidget {
    Q_OBJECT
public:
    explicit PresetBar(AppModel& model, QWidget* parent = nullptr);
    void sync();

    QToolButton* picker() const { return picker_; }
    QMenu* presetMenu() const { return presetMenu_; }
    QMenu* actionsMenu() const { return actionsMenu_; }
    QAction* action(const QString& title) const;
    QPushButton* recoverButton() const { return recover_; }
    QPushButton* backupButton() const { return showBackup_; }
    QString recoveryText() const { return recoveryRow_->message(); }
    QString message() const { return message_->message(); }

    // Presentation flags of the sheets and confirmations.
    bool showingSaveAs() const { return showingSaveAs_; }
    bool showingRename() const { return showingRename_; }
    bool showingDeleteConfirm() const { return showingDeleteConfirm_; }
    bool showingRecoveryConfirm() const { return showingRecoveryConfirm_; }
    // The open name sheet or confirmation, for tests and screenshots.
    QDialog* openSheet() const { return sheet_; }

public slots:
    void askSaveAs();
    void askRename();
    void askDelete();
    void askRecovery();

private:
    void present(QDialog* sheet, bool& flag);

    AppModel& model_;
    QToolButton* picker_;
    QMenu* presetMenu_;
    QToolButton* actionsButton_;
    QMenu* actionsMenu_;
    WarningRow* recoveryRow_;
    QPushButton* recover_;
    QPushButton* showBackup_;
    WarningRow* message_;
    QPointer<QDialog> sheet_;
    bool showingSaveAs_ = false;
    bool showingRename_ = false;
    bool showingDeleteConfirm_ = false;
    bool showingRecoveryConfirm_ = false;
};

}  // namespace veltrop::app
