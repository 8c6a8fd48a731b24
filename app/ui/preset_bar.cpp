#include "app/ui/preset_bar.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

PresetBar::PresetBar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeHeader(QStringLiteral("Preset"), this));

    auto* row = new QHBoxLayout;
    picker_ = new QToolButton(this);
    picker_->setPopupMode(QToolButton::InstantPopup);
    picker_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    picker_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    picker_->setAccessibleName(QStringLiteral("Choose a preset"));
    picker_->setToolTip(QStringLiteral("Choose a preset"));
    presetMenu_ = new QMenu(picker_);
    picker_->setMenu(presetMenu_);
    actionsButton_ = new QToolButton(this);
    actionsButton_->setText(qs("\u22EF"));
    actionsButton_->setPopupMode(QToolButton::InstantPopup);
    actionsButton_->setAccessibleName(QStringLiteral("Preset actions"));
    actionsButton_->setToolTip(QStringLiteral("Preset actions"));
    actionsMenu_ = new QMenu(actionsButton_);
    actionsMenu_->addAction(QStringLiteral("Save"), &model_, &AppModel::updateSelectedPreset);
    actionsMenu_->addAction(QStringLiteral("Save preset as"), this, &PresetBar::askSaveAs);
    actionsMenu_->addAction(QStringLiteral("Rename preset"), this, &PresetBar::askRename);
    actionsMenu_->addAction(QStringLiteral("Delete"), this, &PresetBar::askDelete);
    actionsMenu_->addSeparator();
    actionsMenu_->addAction(QStringLiteral("Restore built-ins"), &model_, &AppModel::restoreBuiltInPresets);
    actionsButton_->setMenu(actionsMenu_);
    row->addWidget(picker_, 1);
    row->addWidget(actionsButton_);
    column->addLayout(row);

    recoveryRow_ = new WarningRow(this);
    column->addWidget(recoveryRow_);
    recover_ = new QPushButton(qs("Recover presets\u2026"), this);
    recover_->setToolTip(qs(presetTexts::recoveryQuestion));
    column->addWidget(recover_, 0, Qt::AlignLeft);
    showBackup_ = new QPushButton(QStringLiteral("Show preset backup"), this);
    column->addWidget(showBackup_, 0, Qt::AlignLeft);
    message_ = new WarningRow(this);
    column->addWidget(message_);

    connect(recover_, &QPushButton::clicked, this, &PresetBar::askRecovery);
    connect(showBackup_, &QPushButton::clicked, &model_, &AppModel::showPresetBackup);
    sync();
}

QAction* PresetBar::action(const QString& title) const {
    for (QAction* item : actionsMenu_->actions())
        if (item->text() == title) return item;
    return nullptr;
}

void PresetBar::sync() {
    picker_->setText(qs(model_.presetLabel()));
    // Deferred: sync runs while a chosen item's signal is still being delivered.
    for (QAction* old : presetMenu_->actions()) {
        presetMenu_->removeAction(old);
        old->deleteLater();
    }
    for (const auto& preset : model_.presets()) {
        QAction* item = presetMenu_->addAction(qs(preset.name));
        item->setCheckable(true);
        item->setChecked(model_.selectedPresetID() == preset.id);
        const settings::Uuid id = preset.id;
        connect(item, &QAction::triggered, &model_, [this, id] { model_.applyPreset(id); });
    }
    const bool recovering = model_.presetsNeedRecovery();
    bool selectedExists = false;
    for (const auto& preset : model_.presets())
        if (model_.selectedPresetID() == preset.id) selectedExists = true;
    action(QStringLiteral("Save"))->setEnabled(!recovering && selectedExists);
    action(QStringLiteral("Save preset as"))->setEnabled(!recovering);
    action(QStringLiteral("Rename preset"))->setEnabled(!recovering && selectedExists);
    action(QStringLiteral("Delete"))->setEnabled(!recovering && selectedExists);
    action(QStringLiteral("Restore built-ins"))->setEnabled(!recovering);

    recoveryRow_->setMessage(recovering ? qs(presetTexts::recoveryRow) : QString());
    recover_->setVisible(recovering);
    showBackup_->setVisible(model_.presetBackupURL().has_value());
    if (model_.presetBackupURL()) showBackup_->setToolTip(qpath(*model_.presetBackupURL()));
    message_->setMessage(model_.presetMessage() ? qs(*model_.presetMessage()) : QString());
}

void PresetBar::present(QDialog* sheet, bool& flag) {
    flag = true;
    sheet_ = sheet;
    connect(sheet, &QDialog::finished, this, [this, &flag] {
        flag = false;
        sync();
    });
    sheet->open();
}

void PresetBar::askSaveAs() {
    if (model_.presetsNeedRecovery()) return;
    auto* sheet = new NameSheet(QStringLiteral("Save preset as"), QString(),
                                [this](const std::string& name) { model_.saveAsNewPreset(name); }, window());
    present(sheet, showingSaveAs_);
}

void PresetBar::askRename() {
    if (model_.presetsNeedRecovery()) return;
    QString current;
    for (const auto& preset : model_.presets())
        if (model_.selectedPresetID() == preset.id) current = qs(preset.name);
    auto* sheet = new NameSheet(QStringLiteral("Rename preset"), current,
                                [this](const std::string& name) { model_.renameSelectedPreset(name); }, window());
    present(sheet, showingRename_);
}

void PresetBar::askDelete() {
    if (model_.presetsNeedRecovery()) return;
    QString name;
    for (const auto& preset : model_.presets())
        if (model_.selectedPresetID() == preset.id) name = qs(preset.name);
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Delete"),
                                QStringLiteral("Delete the preset \u201C%1\u201D?").arg(name),
                                QMessageBox::NoButton, window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton* remove = box->addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
    box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    connect(remove, &QPushButton::clicked, &model_, &AppModel::deleteSelectedPreset);
    present(box, showingDeleteConfirm_);
}

void PresetBar::askRecovery() {
    if (!model_.presetsNeedRecovery()) return;
    auto* box = new QMessageBox(QMessageBox::Warning, qs(presetTexts::recoveryQuestion),
                                qs(presetTexts::recoveryQuestion), QMessageBox::NoButton, window());
    box->setInformativeText(qs(presetTexts::recoveryMessage));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton* confirm = box->addButton(qs(presetTexts::recoveryConfirm), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    connect(confirm, &QPushButton::clicked, &model_, &AppModel::recoverPresets);
    present(box, showingRecoveryConfirm_);
}

}  // namespace veltrop::app
