// The reader returns text as UTF-8.
#define ZX_USE_UTF8 1
#include "QrCode.h"
#include "WebTestSupport.h"

#include <QLabel>
#include <QPainter>
#include <ZXing/ReadBarcode.h>

namespace {

std::string Decoded(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(),
                                ZXing::ImageFormat::Lum, int(grey.bytesPerLine()));
    return ZXing::ReadBarcode(view).text();
}

// The terminal text as a screen shows it: light blocks on a dark background, 4 x 8 pixels
// per character.
QImage Rasterised(const QString& text) {
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

} // namespace

TEST_F(WebTest, TheQrCodeShowsTheServersUrlAndFollowsTheWindowsSize) {
    Start();
    const QString port = QString::number(form.ServerPort());
    EXPECT_EQ(form.LabelIP->text(), "This computer IP address : 192.168.1.20:" + port);
    EXPECT_EQ(form.QrBitmap.size(), QSize(33, 33));
    const std::string url = ("http://192.168.1.20:" + port).toStdString();
    EXPECT_EQ(Decoded(form.PaintBox1->grab().toImage()), url);

    form.show(); // a hidden window gets its resize only when shown
    form.resize(500, 520);
    EXPECT_EQ(form.PaintBox1->geometry(), QRect(200, 152, 300, 368));
    EXPECT_EQ(Decoded(form.PaintBox1->grab().toImage()), url);
}

TEST(QrCode, TheTerminalRenderingReadsAsTheUrl) {
    const QString url = "http://192.168.100.200:1321";
    const TQrMatrix matrix = EncodeQr(url);
    EXPECT_EQ(matrix.Size, 33);
    const QString text = QrForTerminal(matrix);
    EXPECT_EQ(text.count('\n'), 17);
    EXPECT_EQ(Decoded(Rasterised(text)), url.toStdString());
}
