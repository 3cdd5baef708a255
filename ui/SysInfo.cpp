#include "SysInfo.h"

#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <QFileInfo>
#include <windows.h>
#endif

KeyValueText DecodeKeyValue(quint32 type, const QByteArray& data) {
    KeyValueText out;
    if (data.isEmpty()) {
        out.error = true;
        return out;
    }
    const QByteArray kept = data.endsWith('\0') ? data.left(data.size() - 1) : data;
    if (type == 1) { // REG_SZ
        out.changed = true;
        out.text = QString::fromLocal8Bit(kept);
    } else if (type == 4) { // REG_DWORD
        out.changed = true;
        out.text = QStringLiteral("&h");
        for (qsizetype i = kept.size() - 1; i >= 0; --i)
            out.text +=
                QStringLiteral("%1").arg(quint8(kept[i]), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

QStringList SystemInformationPrograms() {
    // System information tools only; a process monitor is none.
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter")};
}

#ifdef Q_OS_WIN

bool GetKeyValue(const QString& keyName, const QString& valueName, QString& keyVal) {
    keyVal.clear();
    HKEY key = nullptr;
    // Reading is all it needs: HKEY_LOCAL_MACHINE is not writable without elevation.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(keyName.utf16()), 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t); // room for a NUL the data may lack
    DWORD type = 0;
    const LONG r = RegQueryValueExW(key, reinterpret_cast<LPCWSTR>(valueName.utf16()), nullptr,
                                    &type, buffer, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return false;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        QString text = QString::fromWCharArray(reinterpret_cast<const wchar_t*>(buffer),
                                               int(size / sizeof(wchar_t)));
        while (text.endsWith(QChar(0)))
            text.chop(1);
        if (type == REG_EXPAND_SZ) {
            wchar_t expanded[2048];
            const DWORD n =
                ExpandEnvironmentStringsW(reinterpret_cast<LPCWSTR>(text.utf16()), expanded, 2048);
            if (n == 0 || n > 2048)
                return false;
            text = QString::fromWCharArray(expanded, int(n) - 1);
        }
        keyVal = text;
        return true;
    }
    const KeyValueText decoded =
        DecodeKeyValue(type, QByteArray(reinterpret_cast<const char*>(buffer), int(size)));
    if (decoded.error)
        return false;
    if (decoded.changed)
        keyVal = decoded.text;
    return true;
}

QString SystemInformationToolPath() {
    QString path;
    if (GetKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), path) &&
        QFileInfo(path).isFile())
        return path;
    if (GetKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                    QStringLiteral("MSINFO"), path) &&
        QFileInfo(path + QStringLiteral("\\MSINFO32.EXE")).isFile())
        return path + QStringLiteral("\\MSINFO32.EXE");
    // Where neither key says: the tool's place in every Windows since XP.
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    path = QString::fromWCharArray(system, int(n)) + QStringLiteral("\\msinfo32.exe");
    return QFileInfo(path).isFile() ? path : QString();
}

bool StartSystemInformationTool() {
    const QString path = SystemInformationToolPath();
    return !path.isEmpty() && QProcess::startDetached(path, {});
}

#else

bool StartSystemInformationTool() {
    for (const QString& name : SystemInformationPrograms()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return QProcess::startDetached(path, {});
    }
    return false;
}

#endif
