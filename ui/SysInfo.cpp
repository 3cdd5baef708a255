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

namespace {

// One value of a key under HKEY_LOCAL_MACHINE, through the wide-character calls.
bool GetKeyValue(const QString& keyName, const QString& valueName, QString& keyVal) {
    keyVal.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(keyName.utf16()), 0, 0x2003F,
                      &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[1024] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LONG r = RegQueryValueExW(key, reinterpret_cast<LPCWSTR>(valueName.utf16()), nullptr,
                                    &type, buffer, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return false;
    if (type == REG_SZ) {
        QString text = QString::fromWCharArray(reinterpret_cast<const wchar_t*>(buffer),
                                               int(size / sizeof(wchar_t)));
        if (text.endsWith(QChar(0)))
            text.chop(1);
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

} // namespace

bool StartSystemInformationTool() {
    QString path;
    if (!GetKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                     QStringLiteral("PATH"), path)) {
        if (!GetKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                         QStringLiteral("MSINFO"), path))
            return false;
        path += QStringLiteral("\\MSINFO32.EXE");
        if (!QFileInfo(path).isFile())
            return false;
    }
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
