// The window of the Windows build, drawn by the Windows platform (run with "-platform
// windows"; under Wine on an X display): what the offscreen platform can't show.
#include "ui/frmTavlo.h"

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

int darkPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qGray(image.pixel(x, y)) < 96 ? 1 : 0;
    return n;
}

} // namespace

// Where Verdana is missing and the system picks the stand-in itself, text fields drew
// no text at all; the window's font is one that is there, and the fields draw it.
TEST(WindowsWindow, TextFieldsDrawTheirText) {
    frmTavlo w;
    w.show();
    QApplication::processEvents();
    auto* prefix = w.findChild<QLineEdit*>("txtPrefix");
    ASSERT_TRUE(prefix);
    ASSERT_EQ(QGuiApplication::platformName(), "windows");
    EXPECT_EQ(QFontInfo(prefix->font()).family().toStdString(),
              prefix->font().family().toStdString());
    const int empty = darkPixels(prefix->grab().toImage());
    prefix->setText("IMG_2024 ");
    QApplication::processEvents();
    EXPECT_GT(darkPixels(prefix->grab().toImage()), empty + 40);
}
