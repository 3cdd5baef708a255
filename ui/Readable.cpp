#include "Readable.h"

#include <QStringList>

namespace Readable {

namespace {

bool breaksAfter(QChar c) {
    return c == u'/' || c == u'\\' || c == u' ' || c == u'_' || c == u'-' || c == u'.';
}

} // namespace

QString Wrapped(const QString& text, int width) {
    QStringList out;
    for (QStringView line : QStringView(text).split(u'\n')) {
        while (line.size() > width) {
            // The last break in the line's last quarter, so that lines stay near the width.
            qsizetype cut = width;
            for (qsizetype i = width; i > width * 3 / 4; --i) {
                if (breaksAfter(line[i - 1])) {
                    cut = i;
                    break;
                }
            }
            out << line.left(cut).toString();
            line = line.mid(cut);
        }
        out << line.toString();
    }
    return out.join(u'\n');
}

QString ElidedMiddle(const QString& text, int width) {
    if (text.size() <= width || width < 3)
        return text;
    const qsizetype tail = (width - 1) * 3 / 5, head = width - 1 - tail;
    return text.left(head) + QChar(0x2026) + text.right(tail);
}

} // namespace Readable
