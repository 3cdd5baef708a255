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

QByteArray v1(const QByteArray& hex, quint32 attrib, quint64 create) {
    return blob(hex, 1, le32(attrib) + le32(0) + le64(1234) + le64(4096) + le64(create) + le64(7));
}
QByteArray v2(const QByteArray& hex, quint32 attrib, quint64 create) {
    return blob(hex, 2,
                le32(0) + le32(attrib) + le32(0) + le64(1) + le64(2) + le64(create) + le64(3) +
                    le64(4) + QByteArray("ab", 3));
}
QByteArray v3(const QByteArray& hex, quint32 flags, quint32 attrib, quint64 create) {
    return blob(hex, 3,
                le32(flags) + le32(attrib) + le32(0) + le64(1234) + le64(4096) + le64(create) +
                    le64(77));
}
QByteArray v4(const QByteArray& hex, quint32 flags, quint32 attrib, quint64 itime, quint64 create) {
    return blob(hex, 4, le32(flags) + le32(attrib) + le64(itime) + le64(create));
}
QByteArray v5(const QByteArray& hex, quint32 flags, quint32 attrib, quint64 create) {
    return blob(hex, 5, le32(flags) + le32(attrib) + le64(create));
}

const QByteArray kLevelDiffers = QByteArray("\0\0\5\0\4\0\0\0", 8) + le32(1) + le32(2) + le64(3);
const QByteArray kUnknownVersion = blob("", 9, QByteArray(32, '\0'));

} // namespace

// Only the word, its valid flag and the text change; every blob gets the text Wine reads.
// A value whose form is not known is left alone.
TEST(DosAttrib, WritesChangeOnlyWhatTheyMust) {
    const quint64 t = 132500000000000000ULL, u = 127000000000000000ULL;
    const std::optional<QByteArray> none;
    struct Row {
        const char* what;
        std::optional<QByteArray> got, want;
    } rows[] = {
        {"no value", WithAttrib({}, 0x23), "0x23"},
        {"legacy", WithAttrib("0x2", 0x6), "0x6"},
        {"v5", WithAttrib(v5("", 0x11, 0x20, t), 0x22), v5("0x22", 0x11, 0x22, t)},
        {"v5 word not valid", WithAttrib(v5("", 0x10, 0, t), 0x2), v5("0x2", 0x11, 0x2, t)},
        {"v4", WithAttrib(v4("", 0x51, 0x20, 5, t), 0x26), v4("0x26", 0x51, 0x26, 5, t)},
        {"v3 text grows", WithAttrib(v3("0x0", 0x11, 0, t), 0x26), v3("0x26", 0x11, 0x26, t)},
        {"v2", WithAttrib(v2("", 0x20, t), 0x21), v2("0x21", 0x21, t)},
        {"v1", WithAttrib(v1("0x20", 0x20, t), 0x21), v1("0x21", 0x21, t)},
        {"level differs", WithAttrib(kLevelDiffers, 0x2), none},
        {"unknown version", WithAttrib(kUnknownVersion, 0x2), none},
        {"garbage", WithAttrib("hello", 0x2), none},
        {"create, no value", WithCreateTime({}, u), v5("0x0", 0x11, 0, u)},
        {"create, legacy", WithCreateTime("0x22", u), v5("0x22", 0x11, 0x22, u)},
        {"create, v5", WithCreateTime(v5("", 0x01, 0x20, 0), u), v5("0x20", 0x11, 0x20, u)},
        {"create, v4", WithCreateTime(v4("", 0x41, 0x20, 8, 0), u), v4("0x20", 0x51, 0x20, 8, u)},
        {"create, v3", WithCreateTime(v3("", 0x01, 0x20, 0), u), v3("0x20", 0x11, 0x20, u)},
        {"create, v1", WithCreateTime(v1("", 0x20, 0), u), v1("0x20", 0x20, u)},
        {"create, v2", WithCreateTime(v2("", 0x20, 0), u), none},
        {"create, unknown", WithCreateTime(kUnknownVersion, u), none},
        {"create, zero", WithCreateTime({}, 0), none},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(r.got, r.want);
    }
}
