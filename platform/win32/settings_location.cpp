#include "platform/core/settings_location.h"

#include <QRandomGenerator>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

QString per_user_settings_folder() {
    QString app_data;
    PWSTR known = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &known) == S_OK)
        app_data = QString::fromWCharArray(known);
    CoTaskMemFree(known);
    if (app_data.isEmpty())
        app_data = qEnvironmentVariable("APPDATA");
    return QDir(QDir::fromNativeSeparators(app_data)).filePath(QStringLiteral("Kaptorama"));
}

bool can_write(const QString& path) {
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return false;
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(file);
        return true;
    }
    // The access rules of a folder (Program Files) are only known by trying: a file that
    // vanishes when it is closed.
    const QString probe =
        QStringLiteral("\\.kaptorama-%1.tmp").arg(QRandomGenerator::global()->generate64(), 0, 36);
    const std::wstring probe_name = name + probe.toStdWString();
    const HANDLE file = CreateFileW(probe_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}
