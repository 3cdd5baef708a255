#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace basTavlo {

// The extended attribute in which Samba and Wine keep the DOS attribute bits and
// Samba the creation time. Forms met in the wild:
//   legacy text "0x22" without a NUL (Wine, old Samba);
//   NDR blob: hex text with NUL (or a lone NUL), pad to 2, u16 version, u16 level,
//   pad to 4, then the info struct of that version (3, 4 or 5), little-endian.
inline constexpr char kDosAttribName[] = "user.DOSATTRIB";

inline constexpr quint32 kValidAttrib = 0x01;
inline constexpr quint32 kValidCreateTime = 0x10;

struct DosAttrib {
    // None: no value; Unknown: a value that neither Samba nor Wine would read, left alone.
    enum class Form { None, Legacy, Blob, Unknown };
    Form form = Form::None;
    quint16 version = 0; // blob only
    bool attribValid = false;
    quint32 attrib = 0;
    bool createTimeValid = false;
    quint64 createTime = 0; // 100-ns units since 1601 UTC
};

// Reads the value as Samba does: versions 1 to 5 and the legacy text.
DosAttrib ParseDosAttrib(const QByteArray& value);

// The value with its attribute word set to attrib and everything else kept; where there
// is no blob, the legacy text, as Wine writes it. Every blob gets the hex text of its
// word in front. Nothing for a value of unknown form, which is not ours to rewrite.
std::optional<QByteArray> WithAttrib(const QByteArray& value, quint32 attrib);

// The value with its create time set (valid flag on). A blob keeps its form; any other
// value becomes a version 5 blob carrying the attribute word it had. Nothing where the
// time can't be stored so that Samba reads it: a zero time, version 2, an unknown form.
std::optional<QByteArray> WithCreateTime(const QByteArray& value, quint64 createTime);

} // namespace basTavlo
