#include "FileMetadata.h"

#include <QDate>

#include <algorithm>

std::optional<basTavlo::DateTime> ParseMetadataDate(const QString& text) {
    // "YYYY:MM:DD HH:MM:SS" or "YYYY-MM-DDTHH:MM:SS", each field where written.
    int f[6] = {0, 1, 1, 0, 0, 0};
    int n = 0;
    qsizetype i = 0;
    while (n < 6 && i < text.size()) {
        qsizetype j = i;
        while (j < text.size() && text[j].isDigit())
            ++j;
        if (j == i)
            break;
        f[n++] = QStringView(text).mid(i, j - i).toInt();
        if (j >= text.size() || (n == 3 ? !QStringView(u" T").contains(text[j])
                                        : !QStringView(u":-").contains(text[j])))
            break;
        i = j + 1;
    }
    if (n < 3 || f[0] < 1601 || f[0] > 9999 || !QDate(f[0], f[1], f[2]).isValid() || f[3] > 23 ||
        f[4] > 59 || f[5] > 60)
        return std::nullopt;
    return basTavlo::DateTime{f[0],        qint8(f[1]), qint8(f[2]),
                              qint8(f[3]), qint8(f[4]), qint8(std::min(f[5], 59))};
}

QString CameraName(QString make, QString model) {
    make = std::move(make).simplified(); // in place
    model = std::move(model).simplified();
    const QString brand = make.section(u' ', 0, 0);
    if (model.isEmpty())
        return make;
    if (brand.isEmpty() || model.startsWith(brand, Qt::CaseInsensitive))
        return model;
    return make + u' ' + model;
}
