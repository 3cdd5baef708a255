#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

// path as it fits in width pixels: whole where it fits, else the folder gives way from its
// start ("…/Rome/IMG_0001.JPG"), and the file's name is cut only where no folder is left.
QString ElidedPath(const QString& path, const QFontMetrics& metrics, int width);

// Draws the paths of a list so that a file's name is the last thing cut: the folder is in
// the source field above.
class PathDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text drawn for index in the option's rectangle.
    QString shownText(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QString shown(const QStyleOptionViewItem& ready) const;
};
