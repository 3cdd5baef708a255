// A name field's text as a user may type it, read as tags and filled in for a file; the first
// byte chooses the field, so that the replacement of a pattern's matches is read too.
#include "rename/Tags.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const bool replacement = data[0] & 1;
    const FieldText field = FieldText::Read(text, replacement ? NameField::With : NameField::Prefix,
                                            replacement ? 2 : -1, {QStringLiteral("name")});
    basTavlo::FindData found;
    found.lastWriteTime = 133000000000000000; // 2022
    FileMetadata meta;
    meta.taken = basTavlo::DateTime{2024, 6, 1, 14, 3, 22};
    meta.camera = QStringLiteral("Canon EOS/5D");
    meta.track = 3;
    const TagContext context{QStringLiteral("Rome"), 133000000000000000};
    QString out;
    quint8 missing = 0;
    field.fill(out, context,
               TagFile{u"IMG_0001.JPG", qint64(data[0]), &found, &meta, qint64(data[0]) - 100},
               nullptr, &missing);
    FieldText::TagName(missing);
    return 0;
}
