#include "ui/frmAbout.h"
#include "ui/frmTavlo.h"

#include <QDir>
#include <QPushButton>

#include <gtest/gtest.h>

// Renders the windows to PNG files for a person to compare with the design. The files go
// to $ZOV_SCREENSHOT_DIR, or next to the test program.
TEST(Render, WindowsToPng) {
    QString dir = qEnvironmentVariable("ZOV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath();
    frmTavlo w;
    w.show();
    const char* pages[] = {"rename", "advanced", "filter"};
    for (int i = 0; i < 3; ++i) {
        const QImage shot = w.grab().toImage();
        EXPECT_EQ(shot.width(), 667);
        EXPECT_TRUE(shot.save(dir + QStringLiteral("/frmTavlo-%1.png").arg(pages[i])));
        w.cmdNext_Click();
    }
    frmAbout about(&w);
    about.show();
    EXPECT_EQ(about.size(), QSize(382, 237));
    EXPECT_TRUE(about.grab().save(dir + QStringLiteral("/frmAbout.png")));
}
