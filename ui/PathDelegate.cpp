#include "PathDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

QString ElidedPath(const QString& path, const QFontMetrics& whole, int width) {
    // Fractions of pixels count: the style elides again whatever is a fraction too wide.
    const QFontMetricsF metrics(whole);
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    qsizetype start = path.size();
    while (start > 0 && path[start - 1] != u'/' && path[start - 1] != u'\\')
        --start;
    const QString name = path.mid(start);
    const QString folder = path.left(start);
    const QString ellipsis(QChar(0x2026));
    // The most of the folder's end that fits before the name.
    qsizetype low = 0, high = folder.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(ellipsis + folder.right(mid) + name) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    if (low > 0 && folder[folder.size() - low].isLowSurrogate())
        --low; // never half a character
    if (low > 0 || metrics.horizontalAdvance(ellipsis + name) <= width)
        return ellipsis + folder.right(low) + name;
    return metrics.elidedText(name, Qt::ElideMiddle, qreal(width));
}

QString PathDelegate::shown(const QStyleOptionViewItem& ready) const {
    const QStyle* style = ready.widget ? ready.widget->style() : QApplication::style();
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &ready, ready.widget);
    // The style keeps a margin each side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ready.widget) + 1;
    return ElidedPath(ready.text, ready.fontMetrics, text.width() - 2 * margin);
}

QString PathDelegate::shownText(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem ready = option;
    initStyleOption(&ready, index);
    return shown(ready);
}

void PathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QStyleOptionViewItem ready = option;
    initStyleOption(&ready, index);
    ready.text = shown(ready);
    const QStyle* style = ready.widget ? ready.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &ready, painter, ready.widget);
}

QSize PathDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // As wide as the list, whatever the path: it is drawn to fit.
    return {1, QStyledItemDelegate::sizeHint(option, index).height()};
}
