// SPDX-License-Identifier: GPL-3.0-or-later
#include "Controls.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPalette>
#include <QToolTip>

namespace look {

void Style(QWidget* widget, int pixels, bool bold, QColor color) {
    QFont font;
    // Liberation Sans keeps the narrow metrics the bounds were drawn for.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    widget->setFont(font);
    if (color.isValid()) {
        // Disabled controls keep the desktop's greyed look.
        QPalette palette = widget->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            for (QPalette::ColorRole role :
                 {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
                palette.setColor(group, role, color);
        widget->setPalette(palette);
    }
}

QColor WindowText() {
    return QApplication::palette().color(QPalette::WindowText);
}

QGroupBox* Group(QWidget* parent, const char* name, int left, int top, int width, int height,
                 const QString& title, int pixels, QColor color) {
    auto* box = Make<QGroupBox>(parent, name, left, top, width, height);
    box->setTitle(title);
    Style(box, pixels, true, color);
    return box;
}

QLabel* Label(QWidget* parent, const char* name, int left, int top, const QString& text, int pixels,
              bool bold, QColor color) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    Style(label, pixels, bold, color);
    const int width = parent ? std::max(20, parent->width() - left - 2) : 200;
    label->setGeometry(left, top, width, pixels + 6);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

void FitLabel::paintEvent(QPaintEvent* event) {
    // The words before the port ("connected ", "connection lost ") always show; the port path
    // gives way in its middle.
    const QString full = text();
    const qsizetype path = full.indexOf(QChar('/'));
    const QString words = path < 0 ? QString() : full.left(path);
    const int room = contentsRect().width() - fontMetrics().horizontalAdvance(words);
    const QString shown =
        path < 0 || room <= 0
            ? fontMetrics().elidedText(full, Qt::ElideMiddle, contentsRect().width())
            : words + fontMetrics().elidedText(full.mid(path), Qt::ElideMiddle, room);
    if (shown == full) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()), shown);
}

bool FitLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        if (fontMetrics().horizontalAdvance(text()) > contentsRect().width())
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

QLabel* StatusLabel(QWidget* parent, const char* name, int left, int top, int right) {
    auto* label = new FitLabel(QStringLiteral("Disconnected"), parent);
    label->setObjectName(QLatin1String(name));
    Style(label, 16, false, Navy);
    label->setGeometry(left, top, right - left, 22);
    return label;
}

} // namespace look
