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

#ifdef Q_OS_WIN
// One value of a key under HKEY_LOCAL_MACHINE, opened for reading only: a string as it
// stands, an expandable one with its variables expanded, other data as DecodeKeyValue
// gives it. False when the key or value can't be read.
bool GetKeyValue(const QString& keyName, const QString& valueName, QString& keyVal);
// The system information tool: where the registry says, else msinfo32.exe in the system
// folder; empty when there is none.
QString SystemInformationToolPath();
#endif

// Where there is no registry: programs looked for on PATH, first found first.
QStringList SystemInformationPrograms();
