#include "Look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

// The resources live in a static library: register them before first use.
static void initResources() {
    Q_INIT_RESOURCE(zov);
}

// Verdana where it is installed, else the nearest sans font that is: where the system maps
// the missing family itself (Wine picks a math font), line edits may draw no text at all.
static QString sansFamily() {
    static const QString family = [] {
        for (const char* name : {"Verdana", "DejaVu Sans", "Tahoma", "Segoe UI", "Arial"})
            if (QFontDatabase::hasFamily(QLatin1String(name)))
                return QString::fromLatin1(name);
        return QStringLiteral("Verdana");
    }();
    return family;
}

QFont Verdana(qreal points, bool bold) {
    QFont f(sansFamily());
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QIcon ProgramIcon() {
    initResources();
    return QIcon(QStringLiteral(":/icons/zov-32.png"));
}

void ApplyProgramLook(QWidget* window) {
    initResources();
    window->setWindowIcon(ProgramIcon());
    window->setFont(Verdana(8.25));
    QPalette pal = window->palette();
    const QColor back(248, 248, 248);
    pal.setColor(QPalette::Window, back);
    pal.setColor(QPalette::Base, back);
    pal.setColor(QPalette::Button, QColor(224, 224, 224));
    window->setPalette(pal);
}

namespace {

// Fusion's check and option indicators are 14 px; the window's check boxes and option
// buttons are 13 px high, so the indicators are made to fit them.
class ProgramStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            return 13;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

} // namespace

void UseProgramStyle() {
    QApplication::setStyle(new ProgramStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
}
