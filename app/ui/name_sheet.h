#pragma once
// Asks for a preset name; Save runs the confirmation and closes.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <string>

namespace veltrop::app {

class NameSheet : public QDialog {
    Q_OBJECT
public:
    NameSheet(const QString& title, const QString& name, std::function<void(const std::string&)> confirm,
              QWidget* parent);
    QLineEdit* nameField() const { return name_; }
    QPushButton* saveButton() const { return save_; }

private:
    QLineEdit* name_;
    QPushButton* save_;
    std::function<void(const std::string&)> confirm_;
};

}  // namespace veltrop::app
