#include "Look.h"

#include <QApplication>
#include <QPalette>

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
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, color);
        palette.setColor(QPalette::ButtonText, color);
        palette.setColor(QPalette::Text, color);
        widget->setPalette(palette);
    }
}

QColor WindowText() { return QApplication::palette().color(QPalette::WindowText); }

QLabel* Label(QWidget* parent, const char* name, int left, int top, const QString& text,
              int pixels, bool bold, QColor color) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    Style(label, pixels, bold, color);
    const int width = parent ? std::max(20, parent->width() - left - 2) : 200;
    label->setGeometry(left, top, width, pixels + 6);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace look
