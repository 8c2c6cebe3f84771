// The file checks with the Windows calls: a link or junction (a reparse point) is not followed,
// and a file owned by somebody else is not read.
#include "platform/core/file_checks.h"

#include "platform/core/error.h"

#include <QDir>

#include <windows.h>

#include <aclapi.h>
#include <memory>

namespace {

// Whether the owner of the file behind `handle` is this user (or the owner this user's new
// files get, such as the Administrators group for an elevated user). True when the system
// keeps no owner (FAT disks).
bool owned_by_me(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    const std::unique_ptr<void, decltype(&LocalFree)> free_descriptor(descriptor, &LocalFree);
    if (!owner)
        return true;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    bool mine = false;
    for (const TOKEN_INFORMATION_CLASS which : {TokenUser, TokenOwner}) {
        alignas(8) unsigned char buffer[256];
        DWORD size = 0;
        if (!GetTokenInformation(token, which, buffer, sizeof buffer, &size))
            continue;
        const PSID sid = which == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid
                                            : reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner;
        mine = mine || EqualSid(sid, owner);
    }
    CloseHandle(token);
    return mine;
}

} // namespace

void check_own_regular_file(const QString& path) {
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    const QString not_regular = QStringLiteral("Ce n'est pas un fichier ordinaire");
    if (attributes &
        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        throw KapError(msg_cannot_open(path, not_regular));
    const HANDLE file = CreateFileW(name.c_str(), READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return; // gone meanwhile, or not readable: opening it will tell
    const bool disk = GetFileType(file) == FILE_TYPE_DISK;
    const bool mine = owned_by_me(file);
    CloseHandle(file);
    if (!disk)
        throw KapError(msg_cannot_open(path, not_regular));
    if (!mine)
        throw KapError(
            msg_cannot_open(path, QStringLiteral("Le fichier appartient à un autre utilisateur")));
}
