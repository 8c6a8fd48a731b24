#include "app/ui/name_sheet.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/pane_parts.h"
#include "app/ui/qt_text.h"

namespace veltrop::app {

NameSheet::NameSheet(const QString& title, const QString& name, std::function<void(const std::string&)> confirm,
                     QWidget* parent)
    : QDialog(parent), confirm_(std::move(confirm)) {
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* column = new QVBoxLayout(this);
    column->addWidget(makeHeader(title, this));
    auto* form = new QFormLayout;
    name_ = new QLineEdit(name, this);
    name_->setPlaceholderText(QStringLiteral("Preset name"));
    name_->setAccessibleName(QStringLiteral("Name"));
    name_->setMinimumWidth(280);
    form->addRow(QStringLiteral("&Name"), name_);
    column->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    save_ = buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole);
    save_->setDefault(true);
    column->addWidget(buttons);
    auto updateSave = [this] { save_->setEnabled(!name_->text().trimmed().isEmpty()); };
    connect(name_, &QLineEdit::textChanged, this, updateSave);
    updateSave();
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (confirm_) confirm_(utf8(name_->text()));
        accept();
    });
}

}  // namespace veltrop::app
