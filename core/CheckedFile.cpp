#include "CheckedFile.h"

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "MsvcrtFormat.h"

namespace {

const size_t kPathChars = 1024;
// Clearing a name and making the file again is tried this often before a name that is
// refilled at once is given up.
const int kTries = 4;
// FILE_FLAG_OPEN_REPARSE_POINT opens a link as itself, never what it leads to.
const DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

enum class Purpose { Anew, Add, Read };

// What an open handle holds.
enum class Found { Ours, Linked, Elsewhere, Unreadable };

// The path in the form a final path takes: full, long names, no "\\?\".
bool FullPathOf(const wchar_t *path, wchar_t *out)
{
    DWORD length = GetFullPathNameW(path, kPathChars, out, nullptr);
    if (length == 0 || length >= kPathChars)
        return false;
    wchar_t *slash = wcsrchr(out, L'\\');
    if (slash == nullptr || slash <= out + 2)
        return true;
    wchar_t folder[kPathChars];
    *slash = L'\0';
    DWORD folderLength = GetLongPathNameW(out, folder, kPathChars);
    *slash = L'\\';
    if (folderLength > 0 && folderLength + wcslen(slash) < kPathChars) {
        wcscat(folder, slash);
        wcscpy(out, folder);
    }
    return true;
}

bool FinalPathOf(HANDLE file, wchar_t *out)
{
    wchar_t raw[kPathChars];
    DWORD length = GetFinalPathNameByHandleW(file, raw, kPathChars, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= kPathChars)
        return false;
    if (wcsncmp(raw, L"\\\\?\\UNC\\", 8) == 0)
        FormatTextW(out, kPathChars, L"\\\\%s", raw + 8);
    else
        wcscpy(out, wcsncmp(raw, L"\\\\?\\", 4) == 0 ? raw + 4 : raw);
    return true;
}

// Where a handle on path must lead: the folders above the file's own folder as the system
// resolves them now (a profile moved by a junction, a folder redirected to a mapped drive),
// then the file's folder and the file by their own names, so that a swapped or linked folder
// of the file is still seen. Falls back to the plain full path where the folders above cannot
// be opened; the open that follows says what fails.
bool ExpectedFinalPath(const wchar_t *path, wchar_t *out)
{
    if (!FullPathOf(path, out))
        return false;
    wchar_t *file = wcsrchr(out, L'\\');
    if (file == nullptr || file == out)
        return true;
    *file = L'\0';
    wchar_t *folder = wcsrchr(out, L'\\');
    *file = L'\\';
    if (folder == nullptr)
        return true;
    wchar_t above[kPathChars];
    size_t aboveLength = (size_t)(folder - out) + 1;  // with its backslash, so "C:\" opens the root
    wcsncpy(above, out, aboveLength);
    above[aboveLength] = L'\0';
    HANDLE handle = CreateFileW(above, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    wchar_t resolved[kPathChars];
    bool found = FinalPathOf(handle, resolved);
    CloseHandle(handle);
    if (!found)
        return true;
    size_t length = wcslen(resolved);
    if (length > 0 && resolved[length - 1] == L'\\')
        resolved[--length] = L'\0';
    if (length + wcslen(folder) >= kPathChars)
        return true;
    wcscat(resolved, folder);
    wcscpy(out, resolved);
    return true;
}

Found Examine(HANDLE file, const wchar_t *expected, FileCheck *check)
{
    BY_HANDLE_FILE_INFORMATION info;
    wchar_t final[kPathChars];
    if (!GetFileInformationByHandle(file, &info) || !FinalPathOf(file, final)) {
        check->error = GetLastError();
        return Found::Unreadable;
    }
    if (CompareStringOrdinal(final, -1, expected, -1, TRUE) != CSTR_EQUAL) {
        lstrcpynW(check->finalPath, final, (int)(sizeof check->finalPath / sizeof(wchar_t)));
        return Found::Elsewhere;
    }
    if (info.nNumberOfLinks != 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return Found::Linked;
    return Found::Ours;
}

HANDLE Refuse(FileCheck *check, CheckedFileOutcome outcome, DWORD error = 0)
{
    check->outcome = outcome;
    if (error != 0)
        check->error = error;
    return INVALID_HANDLE_VALUE;
}

HANDLE RefuseFound(FileCheck *check, Found found)
{
    return Refuse(check, found == Found::Elsewhere ? kFileLeadsElsewhere
                                                  : found == Found::Linked ? kFileHasOtherNames : kFileNotOpened);
}

// Removes the name at path when it lies where expected says: a hard link's name, or a link
// that the system opened as itself. The other names of the file keep their content.
bool RemoveName(const wchar_t *path, const wchar_t *expected, FileCheck *check)
{
    HANDLE file = CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, kOpenFlags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return true;
        Refuse(check, kFileNotOpened, error);
        return false;
    }
    Found found = Examine(file, expected, check);
    if (found == Found::Elsewhere || found == Found::Unreadable) {
        CloseHandle(file);
        RefuseFound(check, found);
        return false;
    }
    bool removed = DeleteThroughHandle(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!removed)
        Refuse(check, kFileNotOpened, error);
    return removed;
}

bool IsSameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION first, second;
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// Deletes a file this helper made and then refused, through a handle of its own: the one that
// made it holds only the access its caller asked for, so that other readers are not shut out.
// The new handle must be to the very file made: a reopen that went by the file's name would,
// with its folder swapped meanwhile, hand over another file of that name.
void DeleteMadeFile(HANDLE made)
{
    HANDLE deleter = ReOpenFile(made, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (deleter != INVALID_HANDLE_VALUE) {
        if (IsSameFile(made, deleter))
            DeleteThroughHandle(deleter);
        CloseHandle(deleter);
    }
    CloseHandle(made);
}

bool EmptyFile(HANDLE file)
{
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

HANDLE OpenForPurpose(const wchar_t *path, DWORD access, DWORD share, Purpose purpose, FileCheck *check)
{
    memset(check, 0, sizeof *check);
    wchar_t expected[kPathChars];
    if (!ExpectedFinalPath(path, expected))
        return Refuse(check, kFileNotOpened, ERROR_FILENAME_EXCED_RANGE);
    for (int tried = 0; tried < kTries; ++tried) {
        if (purpose != Purpose::Read) {
            HANDLE made = CreateFileW(path, access, share | FILE_SHARE_DELETE, nullptr, CREATE_NEW, kOpenFlags, nullptr);
            if (made != INVALID_HANDLE_VALUE) {
                Found found = Examine(made, expected, check);
                if (found == Found::Ours)
                    return made;
                // Made through a folder that now leads elsewhere, or linked the moment it was
                // made: what was made is ours to delete, through its handle.
                DeleteMadeFile(made);
                if (found == Found::Linked)
                    continue;
                return RefuseFound(check, found);
            }
            DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return Refuse(check, kFileNotOpened, error);
        }
        HANDLE existing = CreateFileW(path, access, share, nullptr, OPEN_EXISTING, kOpenFlags, nullptr);
        if (existing == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if (purpose != Purpose::Read && error == ERROR_FILE_NOT_FOUND)
                continue;  // gone since: make it
            return Refuse(check, kFileNotOpened, error);
        }
        Found found = Examine(existing, expected, check);
        if (found == Found::Ours) {
            if (purpose != Purpose::Anew || EmptyFile(existing))
                return existing;
            DWORD error = GetLastError();
            CloseHandle(existing);
            return Refuse(check, kFileNotOpened, error);
        }
        CloseHandle(existing);
        if (found != Found::Linked || purpose == Purpose::Read)
            return RefuseFound(check, found);
        if (!RemoveName(path, expected, check))
            return INVALID_HANDLE_VALUE;
        check->linkRemoved = true;
    }
    return Refuse(check, kFileKeptReturning);
}

// The wide form of an ANSI path; false, with check (when given) saying so, when it does not
// convert.
bool WidenPath(const char *path, wchar_t *out, FileCheck *check)
{
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, out, (int)kPathChars) != 0)
        return true;
    if (check != nullptr) {
        memset(check, 0, sizeof *check);
        Refuse(check, kFileNotOpened, ERROR_FILENAME_EXCED_RANGE);
    }
    return false;
}

}  // namespace

HANDLE CreateFileAnew(const wchar_t *path, DWORD access, DWORD share, FileCheck *check)
{
    return OpenForPurpose(path, access, share, Purpose::Anew, check);
}

HANDLE CreateFileAnew(const char *path, DWORD access, DWORD share, FileCheck *check)
{
    wchar_t wide[kPathChars];
    return WidenPath(path, wide, check) ? CreateFileAnew(wide, access, share, check) : INVALID_HANDLE_VALUE;
}

HANDLE OpenFileChecked(const wchar_t *path, DWORD access, DWORD share, FileCheck *check)
{
    return OpenForPurpose(path, access, share, (access & GENERIC_WRITE) ? Purpose::Add : Purpose::Read, check);
}

HANDLE OpenFileChecked(const char *path, DWORD access, DWORD share, FileCheck *check)
{
    wchar_t wide[kPathChars];
    return WidenPath(path, wide, check) ? OpenFileChecked(wide, access, share, check) : INVALID_HANDLE_VALUE;
}

bool DeleteFileChecked(const wchar_t *path, FileCheck *check)
{
    memset(check, 0, sizeof *check);
    wchar_t expected[kPathChars];
    if (!ExpectedFinalPath(path, expected)) {
        Refuse(check, kFileNotOpened, ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return RemoveName(path, expected, check);
}

bool DeleteFileChecked(const char *path, FileCheck *check)
{
    wchar_t wide[kPathChars];
    return WidenPath(path, wide, check) && DeleteFileChecked(wide, check);
}

bool DeleteThroughHandle(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool RenameThroughHandle(HANDLE file, const char *path)
{
    wchar_t wide[kPathChars];
    if (!WidenPath(path, wide, nullptr))
        return false;
    size_t bytes = wcslen(wide) * sizeof(wchar_t);
    size_t size = sizeof(FILE_RENAME_INFO) + bytes;
    FILE_RENAME_INFO *rename = static_cast<FILE_RENAME_INFO *>(calloc(1, size));
    if (rename == nullptr)
        return false;
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = (DWORD)bytes;
    memcpy(rename->FileName, wide, bytes);
    bool renamed = SetFileInformationByHandle(file, FileRenameInfo, rename, (DWORD)size) != FALSE;
    free(rename);
    return renamed;
}

bool CopyFileContent(HANDLE from, HANDLE to)
{
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(from, chunk, sizeof chunk, &got, nullptr)) {
        if (got == 0)
            return true;
        DWORD written = 0;
        if (!WriteFile(to, chunk, got, &written, nullptr) || written != got)
            return false;
    }
    return false;
}

bool CopyFileChecked(const char *from, const char *to, FileCheck *fromCheck, FileCheck *toCheck)
{
    memset(toCheck, 0, sizeof *toCheck);
    HANDLE source = OpenFileChecked(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, fromCheck);
    if (source == INVALID_HANDLE_VALUE)
        return false;
    HANDLE target = CreateFileAnew(to, GENERIC_WRITE, FILE_SHARE_READ, toCheck);
    bool copied = target != INVALID_HANDLE_VALUE && CopyFileContent(source, target);
    if (target != INVALID_HANDLE_VALUE && !CloseHandle(target))
        copied = false;
    CloseHandle(source);
    return copied;
}

FILE *OpenCheckedStream(const wchar_t *path, const char *mode, DWORD share, FileCheck *check)
{
    bool anew = mode[0] == 'w';
    bool add = mode[0] == 'a';
    bool both = strchr(mode, '+') != nullptr;
    DWORD access = both ? GENERIC_READ | GENERIC_WRITE : anew || add ? GENERIC_WRITE : GENERIC_READ;
    HANDLE file = anew ? CreateFileAnew(path, access, share, check) : OpenFileChecked(path, access, share, check);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    int flags = (strchr(mode, 'b') != nullptr ? _O_BINARY : _O_TEXT) | (add ? _O_APPEND : 0) |
                (access == GENERIC_READ ? _O_RDONLY : 0);
    int descriptor = _open_osfhandle((intptr_t)file, flags);
    if (descriptor == -1) {
        CloseHandle(file);
        Refuse(check, kFileNotOpened, ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    FILE *stream = _fdopen(descriptor, mode);
    if (stream == nullptr) {
        _close(descriptor);
        Refuse(check, kFileNotOpened, ERROR_TOO_MANY_OPEN_FILES);
    }
    return stream;
}

FILE *OpenCheckedStream(const char *path, const char *mode, DWORD share, FileCheck *check)
{
    wchar_t wide[kPathChars];
    return WidenPath(path, wide, check) ? OpenCheckedStream(wide, mode, share, check) : nullptr;
}

bool FormatFileCheck(const FileCheck &check, const char *path, char *line, size_t size)
{
    switch (check.outcome) {
    case kFileAccepted:
        return check.linkRemoved &&
               FormatText(line, size, "WARNING: %s was a hard link to another file; the link was removed and the "
                                      "file made anew\n", path) >= 0;
    case kFileHasOtherNames:
        return FormatText(line, size, "ERROR: %s is a hard link to another file; it was not read\n", path) >= 0;
    case kFileLeadsElsewhere: {
        char elsewhere[kPathChars];
        if (WideCharToMultiByte(CP_ACP, 0, check.finalPath, -1, elsewhere, sizeof elsewhere, nullptr, nullptr) == 0)
            elsewhere[0] = '\0';
        return FormatText(line, size, "ERROR: %s leads to %s, outside its folder; it was not used\n", path,
                          elsewhere) >= 0;
    }
    case kFileKeptReturning:
        return FormatText(line, size, "ERROR: %s was replaced by another file each time it was made; it was not "
                                      "used\n", path) >= 0;
    case kFileNotOpened:
        break;
    }
    return false;
}

void LogFileCheck(FILE *log, const FileCheck &check, const char *path)
{
    char line[2400];
    if (log != nullptr && FormatFileCheck(check, path, line, sizeof line))
        WriteText(log, "%s", line);
}
