#include "NumberText.h"

#include <cmath>
#include <limits>

namespace {

bool skipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

template <typename T> std::optional<T> roundTo(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value); // the default rounding mode: half to even
    if (r < double(std::numeric_limits<T>::min()) || r > double(std::numeric_limits<T>::max()))
        return std::nullopt;
    return T(r);
}

} // namespace

double ReadLeadingNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skip = [&] {
        while (i < n && skipped(text[i]))
            ++i;
    };
    skip();
    if (i + 1 < n && text[i] == u'&') {
        const QChar kind = text[i + 1].toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base == 0)
            return 0;
        i += 2;
        double value = 0;
        for (;; ++i) {
            skip();
            const int digit = i < n ? digitValue(text[i]) : -1;
            if (digit < 0 || digit >= base)
                break;
            value = value * base + digit;
        }
        return value;
    }
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    QByteArray digits;
    bool point = false;
    for (;; ++i) {
        skip();
        if (i >= n)
            break;
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            digits.append(char(c));
        } else if (c == u'.' && !point) {
            point = true;
            digits.append('.');
        } else {
            break;
        }
    }
    if (digits.isEmpty() || digits == ".")
        return 0;
    const double value = digits.toDouble();
    return negative ? -value : value;
}

std::optional<qint16> RoundToInt16(double value) {
    return roundTo<qint16>(value);
}
std::optional<qint32> RoundToInt32(double value) {
    return roundTo<qint32>(value);
}

QString TrimSpaces(const QString& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && text[b] == u' ')
        ++b;
    while (e > b && text[e - 1] == u' ')
        --e;
    return text.mid(b, e - b);
}
