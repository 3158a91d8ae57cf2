// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Building controls at fixed bounds with the look of the windows: pixel font heights on the
// desktop's sans-serif family, named colours, object names that tests and tools find.
#include <QColor>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

namespace look {

inline const QColor Navy{0x00, 0x00, 0x80};
inline const QColor Teal{0x00, 0x80, 0x80};
inline const QColor Maroon{0x80, 0x00, 0x00};
inline const QColor Red{0xFF, 0x00, 0x00};
inline const QColor Blue{0x00, 0x00, 0xFF};
inline const QColor Green{0x00, 0x80, 0x00};
inline const QColor Black{0x00, 0x00, 0x00};

// Font of the given pixel height on the sans-serif family; colour left alone when invalid.
void Style(QWidget* widget, int pixels, bool bold = false, QColor color = QColor());

// The window-text colour of the palette, for captions that follow the desktop.
QColor WindowText();

template <class T>
T* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A control with a caption (button, check box, radio button).
template <class T>
T* Captioned(QWidget* parent, const char* name, int left, int top, int width, int height,
             const QString& text) {
    T* control = Make<T>(parent, name, left, top, width, height);
    control->setText(text);
    return control;
}

// A group box whose caption has the given pixel height, bold, in the given colour.
QGroupBox* Group(QWidget* parent, const char* name, int left, int top, int width, int height,
                 const QString& title, int pixels, QColor color);

// A label placed by its top-left corner; it takes the room up to its parent's right edge so a
// longer text later is not cut, and lets clicks through to what lies beneath.
QLabel* Label(QWidget* parent, const char* name, int left, int top, const QString& text, int pixels,
              bool bold = false, QColor color = QColor());

// A label whose text, when wider than the label, is shown with its port path shortened in the
// middle (the words before the path stay whole); the whole text stays its text and shows as a
// tool tip.
class FitLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

// A status label ("Disconnected", "connected <port>") that ends before `right`.
QLabel* StatusLabel(QWidget* parent, const char* name, int left, int top, int right);

} // namespace look
