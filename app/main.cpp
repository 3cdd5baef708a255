#include "ui/frmTavlo.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOV"));
    QApplication::setDesktopFileName(QStringLiteral("zov"));
    // Fusion draws the window's own colours on every platform.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zov-128.png")));
    frmTavlo window;
    window.show();
    return app.exec();
}
