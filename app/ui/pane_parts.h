#pragma once
// Small building blocks shared by the panes: headers, notes, warning rows,
// and updating a control from the model without echoing its signal back.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace veltrop::app {

// A bold section heading.
QLabel* makeHeader(const QString& text, QWidget* parent);
// A small, wrapped, secondary text.
QLabel* makeNote(const QString& text, QWidget* parent);
// A triangle symbol beside a wrapped text; hidden until a text is set.
class WarningRow : public QWidget {
public:
    // Without a symbol, the style's warning triangle.
    explicit WarningRow(QWidget* parent = nullptr, QPixmap symbol = {});
    void setMessage(const QString& text);  // empty hides the row
    QString message() const;
    QLabel* label() const { return text_; }

private:
    QLabel* text_;
};

// A form row's label takes the focus to its field with its mnemonic (Alt and
// the underlined letter). Where the field is a row of controls, the label
// points at the first control that takes the focus.
void pointBuddiesAtInputs(QWidget* root);

// The style's warning triangle, and a calendar with an exclamation mark.
QPixmap warningSymbol(const QWidget* widget, int size = 16);
QPixmap calendarWarningSymbol(const QWidget* widget, int size = 16);

// Keeps the cursor where it is when the model echoes the typed text back.
inline void setTextQuietly(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    const QSignalBlocker block(edit);
    edit->setText(text);
}

inline void setIndexQuietly(QComboBox* box, int index) {
    const QSignalBlocker block(box);
    box->setCurrentIndex(index);
}

// Maps a fraction range onto a slider's 0…1000 steps.
struct SliderScale {
    double minimum;
    double maximum;
    int toSlider(double value) const;
    double fromSlider(int position) const;
};

}  // namespace veltrop::app
