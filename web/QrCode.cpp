// SPDX-License-Identifier: GPL-3.0-or-later
#include "QrCode.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

TQrMatrix EncodeQr(const QString& text, int quietZone) {
    // Level 1 of the writer's 0-8 scale is L.
    const ZXing::BitMatrix bits = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                      .setEccLevel(1)
                                      .setMargin(quietZone)
                                      .encode(text.toStdString(), 0, 0);
    TQrMatrix matrix;
    matrix.Size = bits.width();
    matrix.Dark.resize(size_t(bits.width()) * size_t(bits.height()));
    for (int row = 0; row < bits.height(); ++row)
        for (int column = 0; column < bits.width(); ++column)
            matrix.Dark[size_t(row) * size_t(matrix.Size) + size_t(column)] = bits.get(column, row);
    return matrix;
}

QString QrForTerminal(const TQrMatrix& matrix) {
    QString out;
    for (int row = 0; row < matrix.Size; row += 2) {
        for (int column = 0; column < matrix.Size; ++column) {
            const bool top = !matrix.At(column, row);
            const bool bottom = row + 1 < matrix.Size && !matrix.At(column, row + 1);
            out += top ? (bottom ? QChar(0x2588) : QChar(0x2580))
                       : (bottom ? QChar(0x2584) : QChar(' '));
        }
        out += QChar('\n');
    }
    return out;
}
