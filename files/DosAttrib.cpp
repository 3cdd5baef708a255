#include "DosAttrib.h"

namespace basTavlo {

namespace {

struct BlobLayout {
    int textEnd = 0;   // offset of the NUL after the hex text
    int infoStart = 0; // offset of the info struct
    quint16 version = 0;
    int flagsAt = -1; // offsets inside the value, -1 where the version has none
    int attribAt = -1;
    int createAt = -1;
};

quint16 u16At(const QByteArray& b, int at) {
    return quint16(quint8(b[at])) | quint16(quint8(b[at + 1])) << 8;
}

quint32 u32At(const QByteArray& b, int at) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | quint8(b[at + i]);
    return v;
}

quint64 u64At(const QByteArray& b, int at) {
    return quint64(u32At(b, at)) | quint64(u32At(b, at + 4)) << 32;
}

void putU32(QByteArray& b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i) & 0xff);
}

void putU64(QByteArray& b, int at, quint64 v) {
    putU32(b, at, quint32(v));
    putU32(b, at + 4, quint32(v >> 32));
}

int align(int at, int to) {
    return (at + to - 1) / to * to;
}

std::optional<BlobLayout> blobLayout(const QByteArray& v) {
    const int nul = v.indexOf('\0');
    if (nul < 0)
        return std::nullopt;
    BlobLayout l;
    l.textEnd = nul;
    const int versionAt = align(nul + 1, 2);
    if (versionAt + 4 > v.size())
        return std::nullopt;
    l.version = u16At(v, versionAt);
    if (u16At(v, versionAt + 2) != l.version) // Samba's decoder refuses such a blob
        return std::nullopt;
    l.infoStart = align(versionAt + 4, 4);
    int size = 0;
    switch (l.version) {
    case 1: // attrib, ea_size, size, alloc_size, create_time, change_time
        l.attribAt = 0, l.createAt = 24, size = 40;
        break;
    case 2: // flags, attrib, ea_size, size, alloc_size, create, change, write time, name
        l.attribAt = 4, size = 53;
        break;
    case 3: // valid_flags, attrib, ea_size, size, alloc_size, create_time, change_time
        l.flagsAt = 0, l.attribAt = 4, l.createAt = 28, size = 44;
        break;
    case 4: // valid_flags, attrib, itime, create_time
        l.flagsAt = 0, l.attribAt = 4, l.createAt = 16, size = 24;
        break;
    case 5: // valid_flags, attrib, create_time
        l.flagsAt = 0, l.attribAt = 4, l.createAt = 8, size = 16;
        break;
    default:
        return std::nullopt;
    }
    if (l.infoStart + size > v.size())
        return std::nullopt;
    auto place = [&](int& at) {
        if (at >= 0)
            at += l.infoStart;
    };
    place(l.flagsAt);
    place(l.attribAt);
    place(l.createAt);
    return l;
}

// "0x22" and the like; false when the text is no hex number.
bool parseHexText(const QByteArray& text, quint32& out) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    bool ok = false;
    out = text.mid(2).toUInt(&ok, 16);
    return ok;
}

QByteArray hexText(quint32 attrib) {
    return "0x" + QByteArray::number(attrib, 16);
}

// The blob rebuilt with a new hex text in front; the info struct stays as it was.
QByteArray withText(const QByteArray& v, const BlobLayout& l, const QByteArray& text) {
    QByteArray out = text;
    out.append('\0');
    out.append(align(out.size(), 2) - out.size(), '\0');
    out.append(v.mid(align(l.textEnd + 1, 2), 4));
    out.append(align(out.size(), 4) - out.size(), '\0');
    out.append(v.mid(l.infoStart));
    return out;
}

// Samba reads the attribute word of versions 1 and 2 always, and of later versions only
// with its valid flag; it reads no creation time from version 2, nor a zero one.
bool attribValidIn(const QByteArray& v, const BlobLayout& l) {
    return l.flagsAt < 0 || (u32At(v, l.flagsAt) & kValidAttrib);
}

bool createValidIn(const QByteArray& v, const BlobLayout& l) {
    return l.createAt >= 0 && (l.flagsAt < 0 || (u32At(v, l.flagsAt) & kValidCreateTime)) &&
           u64At(v, l.createAt) != 0;
}

} // namespace

DosAttrib ParseDosAttrib(const QByteArray& value) {
    DosAttrib d;
    if (value.isEmpty())
        return d;
    if (const auto l = blobLayout(value)) {
        d.form = DosAttrib::Form::Blob;
        d.version = l->version;
        // A blob whose word is not valid has no attributes, whatever its text says.
        if (attribValidIn(value, *l)) {
            d.attribValid = true;
            d.attrib = u32At(value, l->attribAt);
        }
        if (createValidIn(value, *l)) {
            d.createTimeValid = true;
            d.createTime = u64At(value, l->createAt);
        }
        return d;
    }
    const int nul = value.indexOf('\0');
    // The legacy text, with or without its NUL, and nothing after it.
    if ((nul < 0 || nul == value.size() - 1) &&
        parseHexText(nul < 0 ? value : value.left(nul), d.attrib)) {
        d.form = DosAttrib::Form::Legacy;
        d.attribValid = true;
        return d;
    }
    d.form = DosAttrib::Form::Unknown;
    d.attrib = 0;
    return d;
}

std::optional<QByteArray> WithAttrib(const QByteArray& value, quint32 attrib) {
    const DosAttrib old = ParseDosAttrib(value);
    if (old.form == DosAttrib::Form::None || old.form == DosAttrib::Form::Legacy)
        return hexText(attrib);
    const auto l = blobLayout(value);
    if (!l)
        return std::nullopt; // not ours to rewrite
    QByteArray out = value;
    putU32(out, l->attribAt, attrib);
    if (l->flagsAt >= 0)
        putU32(out, l->flagsAt, u32At(out, l->flagsAt) | kValidAttrib);
    // Wine and old Samba read the hex text in front: keep it in step with the word.
    return withText(out, *l, hexText(attrib));
}

std::optional<QByteArray> WithCreateTime(const QByteArray& value, quint64 createTime) {
    if (createTime == 0)
        return std::nullopt; // Samba reads a zero time as none
    const DosAttrib old = ParseDosAttrib(value);
    if (old.form == DosAttrib::Form::Unknown)
        return std::nullopt;
    if (old.form == DosAttrib::Form::Blob) {
        const auto l = blobLayout(value);
        if (l->createAt < 0)
            return std::nullopt; // version 2: Samba would not read it
        QByteArray out = value;
        putU64(out, l->createAt, createTime);
        if (l->flagsAt >= 0)
            putU32(out, l->flagsAt, u32At(out, l->flagsAt) | kValidCreateTime);
        return old.attribValid ? withText(out, *l, hexText(old.attrib)) : out;
    }
    // The attribute word it had, or none; Samba takes a blob only with a valid word.
    const quint32 attrib = old.attribValid ? old.attrib : 0;
    QByteArray out = hexText(attrib);
    out.append('\0');
    out.append(align(out.size(), 2) - out.size(), '\0');
    out.append("\5\0\5\0", 4); // version and level
    out.append(align(out.size(), 4) - out.size(), '\0');
    const int info = int(out.size());
    out.append(16, '\0');
    putU32(out, info, kValidAttrib | kValidCreateTime);
    putU32(out, info + 4, attrib);
    putU64(out, info + 8, createTime);
    return out;
}

} // namespace basTavlo
