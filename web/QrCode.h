// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// QR codes of the server's URL: the module matrix, and a rendering for a text terminal.
#include <QString>
#include <vector>

struct TQrMatrix {
    int Size = 0;           // modules per side, quiet zone included
    std::vector<bool> Dark; // row by row
    bool At(int column, int row) const { return Dark[size_t(row) * size_t(Size) + size_t(column)]; }
};

// The text as a QR code: automatic mode, error correction level L, a quiet zone of the given
// width on every side. An IPv4 URL gives 33 x 33 modules.
TQrMatrix EncodeQr(const QString& text, int quietZone = 4);

// The matrix as lines of half blocks, two module rows per line. Light modules are printed as
// blocks and dark ones as blanks, so on the usual dark-background terminal the code shows dark
// on light as cameras expect; on a light background it would come out inverted.
QString QrForTerminal(const TQrMatrix& matrix);
