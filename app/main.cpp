#include "ui/Look.h"
#include "ui/frmTavlo.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// --version and --help answer on the terminal and open no window, so that they work where
// no display is.
bool AnswerOnTerminal(int argc, char* argv[]) {
    if (argc != 2)
        return false;
    const char* text = nullptr;
    if (std::strcmp(argv[1], "--version") == 0)
        text = "zov " ZOV_VERSION "\n";
    else if (std::strcmp(argv[1], "--help") == 0)
        text = "Usage: zov [FOLDER]\n"
               "Renames many files of one folder in one run; FOLDER is listed when the window "
               "opens.\n"
               "\n"
               "In the name fields, tags stand for each file's values: <name> <ext> <folder>\n"
               "<n:3> <dup:-#> <created> <modified> <accessed> <now> <taken:yyyy-MM-dd>\n"
               "<camera> "
               "<lens> <width> <height> <artist> <albumartist> <album> <title> <track>\n"
               "<disc> <year> <genre>; text tags take :lower, :upper or :title. A Replace\n"
               "string written /PATTERN/ is a regular expression. The window's Help (F1)\n"
               "says more, with recipes.\n";
    if (!text)
        return false;
#ifdef Q_OS_WIN
    // A windowed program has no console of its own: write to the one it was started from.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
    }
#endif
    std::fputs(text, stdout);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (AnswerOnTerminal(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOV"));
    QApplication::setApplicationVersion(QStringLiteral(ZOV_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.github.zovrenamer.zov"));
    UseProgramStyle();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zov-128.png")));
    frmTavlo window;
    window.show();
    window.OpenFromArguments(QApplication::arguments().mid(1));
    return app.exec();
}
