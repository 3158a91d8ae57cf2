// SPDX-License-Identifier: GPL-3.0-or-later
#include "WiFiPicture.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

QPixmap WiFiPicture() {
    QImage image(80, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // Gradients are filled without antialiasing: antialiased gradient fills make Qt's raster
    // engine hand work to its thread pool, and the picture needs no threads. The edges are
    // smoothed by an antialiased outline drawn afterwards.

    // The control shows the picture from its top-left corner in 72 x 73 pixels, and the help
    // lines beside it end close to its left edge: the badge keeps to the right of that.
    const QRectF disc(10, 2, 60, 60);
    QRadialGradient blue(QPointF(32, 22), 46);
    blue.setColorAt(0.0, QColor(0x6c, 0xc4, 0xff));
    blue.setColorAt(0.55, QColor(0x12, 0x6c, 0xd6));
    blue.setColorAt(1.0, QColor(0x05, 0x2a, 0x6e));
    painter.setPen(Qt::NoPen);
    painter.setBrush(blue);
    painter.drawEllipse(disc);

    QPainterPath round;
    round.addEllipse(disc);
    painter.setClipPath(round);
    const QRectF band(0, 23, 80, 17);
    painter.fillRect(band, Qt::black);
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(15);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(disc.left(), band.top(), disc.width(), band.height()), Qt::AlignCenter,
                     QStringLiteral("WiFi"));

    // The gloss: a soft white highlight over the upper half.
    QLinearGradient gloss(0, 3, 0, 24);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 170));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 10));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gloss);
    painter.drawEllipse(QRectF(20, 4, 40, 19));

    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x03, 0x1c, 0x4c), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(disc);
    painter.end();
    return QPixmap::fromImage(image);
}
