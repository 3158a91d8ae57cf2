// SPDX-License-Identifier: GPL-3.0-or-later
#include "QrCode.h"
#include "QrRead.h"
#include "WebTestSupport.h"

#include <QLabel>

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
