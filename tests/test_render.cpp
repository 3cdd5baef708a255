#include "TestFolder.h"
#include "ui/Dialogs.h"
#include "ui/frmAbout.h"
#include "ui/frmTavlo.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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

// The window at work: a folder listed, files checked and a numbered preview.
TEST(Render, PreviewToPng) {
    QString dir = qEnvironmentVariable("ZOV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath();
    TestFolder f;
    for (int i = 0; i < 14; ++i)
        f.write(QStringLiteral("DSC_%1.JPG").arg(4711 + i * 3));
    f.write("notes.txt");
    frmTavlo w;
    w.show();
    Dialogs::SetNextFolder(f.path());
    w.cmdBrowseSource_Click();
    w.findChild<QCheckBox*>("chkSelectAll")->setCheckState(Qt::Checked);
    w.lists().original.setChecked(14, false);
    w.findChild<QRadioButton*>("optSequencing")->setChecked(true);
    w.findChild<QCheckBox*>("chkSeqPrefix")->setChecked(true);
    w.findChild<QLineEdit*>("txtSeqPrefix")->setText("Holiday ");
    w.findChild<QRadioButton*>("optNumeric")->click();
    w.findChild<QLineEdit*>("txtDigits")->setText("3");
    w.findChild<QCheckBox*>("chkChangeExtension")->setChecked(true);
    w.findChild<QLineEdit*>("txtChangeExtension")->setText("jpg");
    w.cmdPreview_Click();
    EXPECT_EQ(w.lists().changed.count(), 14);
    EXPECT_TRUE(w.grab().save(dir + QStringLiteral("/frmTavlo-preview.png")));
}
