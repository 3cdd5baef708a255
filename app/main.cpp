#include "ui/Look.h"
#include "ui/frmTavlo.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOV"));
    QApplication::setDesktopFileName(QStringLiteral("zov"));
    UseProgramStyle();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zov-128.png")));
    frmTavlo window;
    window.show();
    window.OpenFromArguments(QApplication::arguments().mid(1));
    return app.exec();
}
