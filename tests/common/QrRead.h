// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading QR codes back as a phone's camera would: from a window's pixels, or from the half
// blocks printed on a terminal. The test links ZXing.
#define ZX_USE_UTF8 1 // the reader returns text as UTF-8
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <ZXing/ReadBarcode.h>
#include <string>

inline std::string Decoded(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(),
                                ZXing::ImageFormat::Lum, int(grey.bytesPerLine()));
    return ZXing::ReadBarcode(view).text();
}

// The terminal text as a screen shows it: light blocks on a dark background, 4 x 8 pixels
// per character.
inline QImage Rasterised(const QString& text) {
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    QImage image(int(lines[0].size()) * 4 + 32, int(lines.size()) * 8 + 32, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    for (int row = 0; row < lines.size(); ++row)
        for (int column = 0; column < lines[row].size(); ++column) {
            const QChar c = lines[row][column];
            const QPoint at(16 + column * 4, 16 + row * 8);
            if (c == QChar(0x2580) || c == QChar(0x2588))
                painter.fillRect(QRect(at, QSize(4, 4)), Qt::white);
            if (c == QChar(0x2584) || c == QChar(0x2588))
                painter.fillRect(QRect(at + QPoint(0, 4), QSize(4, 4)), Qt::white);
        }
    return image;
}
