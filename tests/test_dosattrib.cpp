#include "files/DosAttrib.h"

#include <gtest/gtest.h>

using namespace basTavlo;

namespace {

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray le64(quint64 v) {
    return le32(quint32(v)) + le32(quint32(v >> 32));
}

// The NDR layout written by hand, independent of the code under test.
QByteArray blob(const QByteArray& hex, quint16 version, const QByteArray& info) {
    QByteArray b = hex;
    b.append('\0');
    if (b.size() % 2)
        b.append('\0');
    b.append(char(version)).append('\0').append(char(version)).append('\0');
    while (b.size() % 4)
        b.append('\0');
    return b + info;
}

QByteArray v3(const QByteArray& hex, quint32 flags, quint32 attrib, quint64 create) {
    return blob(hex, 3,
                le32(flags) + le32(attrib) + le32(0) + le64(1234) + le64(4096) + le64(create) +
                    le64(77));
}
QByteArray v4(quint32 flags, quint32 attrib, quint64 itime, quint64 create) {
    return blob("", 4, le32(flags) + le32(attrib) + le64(itime) + le64(create));
}
QByteArray v5(quint32 flags, quint32 attrib, quint64 create) {
    return blob("", 5, le32(flags) + le32(attrib) + le64(create));
}

} // namespace

TEST(DosAttrib, ReadsEveryForm) {
    const quint64 t = 133000000000000000ULL;
    struct Row {
        const char* what;
        QByteArray value;
        DosAttrib::Form form;
        bool attribValid;
        quint32 attrib;
        bool createValid;
        quint64 create;
    };
    const Row rows[] = {
        {"legacy", "0x22", DosAttrib::Form::Legacy, true, 0x22, false, 0},
        {"legacy with NUL", QByteArray("0x6\0", 4), DosAttrib::Form::Legacy, true, 0x6, false, 0},
        {"v3 hex text", v3("0x20", 0x11, 0x20, t), DosAttrib::Form::Blob, true, 0x20, true, t},
        {"v3 lone NUL", v3("", 0x01, 0x2, 0), DosAttrib::Form::Blob, true, 0x2, false, 0},
        {"v3 attrib from text", v3("0x4", 0x10, 0, t), DosAttrib::Form::Blob, true, 0x4, true, t},
        {"v4", v4(0x51, 0x24, 99, t), DosAttrib::Form::Blob, true, 0x24, true, t},
        {"v5", v5(0x11, 0x26, t), DosAttrib::Form::Blob, true, 0x26, true, t},
        {"v5 no create", v5(0x01, 0x20, t), DosAttrib::Form::Blob, true, 0x20, false, 0},
        {"short v5", v5(0x11, 0x26, t).left(20), DosAttrib::Form::None, false, 0, false, 0},
        {"level differs", QByteArray("\0\0\5\0\4\0\0\0", 8) + le32(1) + le32(2) + le64(3),
         DosAttrib::Form::None, false, 0, false, 0},
        {"unknown version", blob("", 9, QByteArray(32, '\0')), DosAttrib::Form::None, false, 0,
         false, 0},
        {"garbage", "hello", DosAttrib::Form::None, false, 0, false, 0},
        {"empty", "", DosAttrib::Form::None, false, 0, false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const DosAttrib d = ParseDosAttrib(r.value);
        EXPECT_EQ(d.form, r.form);
        EXPECT_EQ(d.attribValid, r.attribValid);
        EXPECT_EQ(d.attrib, r.attrib);
        EXPECT_EQ(d.createTimeValid, r.createValid);
        EXPECT_EQ(d.createTime, r.create);
    }
}

TEST(DosAttrib, WritingChangesOnlyTheAttributeWord) {
    const quint64 t = 132500000000000000ULL;
    // No value yet, or a legacy one: the legacy text.
    EXPECT_EQ(WithAttrib({}, 0x22), QByteArray("0x22"));
    EXPECT_EQ(WithAttrib("0x2", 0x6), QByteArray("0x6"));
    // Blobs keep their version and every other field.
    EXPECT_EQ(WithAttrib(v5(0x11, 0x20, t), 0x22), v5(0x11, 0x22, t));
    EXPECT_EQ(WithAttrib(v4(0x51, 0x20, 5, t), 0x26), v4(0x51, 0x26, 5, t));
    EXPECT_EQ(WithAttrib(v5(0x10, 0, t), 0x2), v5(0x11, 0x2, t));
    // Version 3 carries the bits twice; the text follows, growing as needed.
    EXPECT_EQ(WithAttrib(v3("0x20", 0x11, 0x20, t), 0x22), v3("0x22", 0x11, 0x22, t));
    EXPECT_EQ(WithAttrib(v3("0x0", 0x11, 0, t), 0x26), v3("0x26", 0x11, 0x26, t));
}

TEST(DosAttrib, CreateTimeGoesIntoABlob) {
    const quint64 t = 127000000000000000ULL;
    EXPECT_EQ(WithCreateTime({}, t), v5(0x11, 0, t));
    EXPECT_EQ(WithCreateTime("0x22", t), v5(0x11, 0x22, t));
    EXPECT_EQ(WithCreateTime(v5(0x01, 0x20, 0), t), v5(0x11, 0x20, t));
    EXPECT_EQ(WithCreateTime(v4(0x41, 0x20, 8, 0), t), v4(0x51, 0x20, 8, t));
    EXPECT_EQ(WithCreateTime(v3("0x20", 0x01, 0x20, 0), t), v3("0x20", 0x11, 0x20, t));
    const DosAttrib back = ParseDosAttrib(WithCreateTime("0x2", t));
    EXPECT_TRUE(back.createTimeValid);
    EXPECT_EQ(back.createTime, t);
    EXPECT_EQ(back.attrib, 0x2u);
}
