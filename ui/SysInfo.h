#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a registry value's data gives as text: a string as it stands (one trailing NUL
// dropped), a DWORD as "&h" and its bytes from the most significant one, in capital hex
// digits, a zero top byte dropped ("&h000102" for 258). Zero-size data is an error; any
// other type leaves the text unchanged.
struct KeyValueText {
    bool error = false;
    bool changed = false;
    QString text;
};
KeyValueText DecodeKeyValue(quint32 type, const QByteArray& data);

// Looks for the system information tool and starts it without waiting. False when there
// is none, or it would not start.
bool StartSystemInformationTool();

// Where there is no registry: programs looked for on PATH, first found first.
QStringList SystemInformationPrograms();
