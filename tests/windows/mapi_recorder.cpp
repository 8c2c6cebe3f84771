// A stand-in MAPI32.DLL for the tests: it writes what the program asks of Simple MAPI, one
// line per call and record, to the file named by KAP_MAPI_RECORD, and answers the logon with
// the number held in the file named by KAP_MAPI_LOGON_RESULT (0 when there is none).
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <windows.h>

#include <mapi.h>

namespace {
void record(const char* format, ...) {
    const char* path = std::getenv("KAP_MAPI_RECORD");
    FILE* file = path ? std::fopen(path, "ab") : nullptr;
    if (!file)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(file, format, arguments);
    va_end(arguments);
    std::fclose(file);
}
const char* text(const char* value) {
    return value ? value : "(none)";
}
} // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPILogon(ULONG_PTR, LPSTR profile, LPSTR password, FLAGS flags, ULONG reserved,
              LPLHANDLE session) {
    unsigned long result = 0;
    if (const char* path = std::getenv("KAP_MAPI_LOGON_RESULT"))
        if (FILE* file = std::fopen(path, "rb")) {
            if (std::fscanf(file, "%lu", &result) != 1)
                result = 0;
            std::fclose(file);
        }
    record("logon '%s' '%s' %lu %lu\n", text(profile), text(password), flags, reserved);
    *session = 7;
    return result;
}

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE session, ULONG_PTR, lpMapiMessage message, FLAGS flags, ULONG reserved) {
    record("send %llu %lu %lu subject %s note %s recipients %lu files %lu\n",
           (unsigned long long)session, flags, reserved, text(message->lpszSubject),
           text(message->lpszNoteText), message->nRecipCount, message->nFileCount);
    for (ULONG i = 0; i < message->nFileCount; ++i) {
        const MapiFileDesc& file = message->lpFiles[i];
        record("file %lu %lu %ld %s|%s|%s\n", file.ulReserved, file.flFlags, long(file.nPosition),
               text(file.lpszPathName), text(file.lpszFileName),
               file.lpFileType ? "type" : "(none)");
    }
    return 0;
}

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPILogoff(LHANDLE session, ULONG_PTR, FLAGS flags, ULONG reserved) {
    record("logoff %llu %lu %lu\n", (unsigned long long)session, flags, reserved);
    return 0;
}
