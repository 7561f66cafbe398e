#include "WalkBounds.h"

#include <stdlib.h>

#include <new>

#include "Exclusion.h"
#include "JobContext.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"

namespace {

bool EndsWithBackslash(const std::wstring &path)
{
    return !path.empty() && path.back() == L'\\';
}

bool IsSamePath(const std::wstring &a, const std::wstring &b)
{
    return CompareStringOrdinal(a.c_str(), (int)a.size(), b.c_str(), (int)b.size(), TRUE) == CSTR_EQUAL;
}

// The path without the system's prefix: "\\?\UNC\server\..." becomes "\\server\...".
std::wstring WithoutPrefix(const std::wstring &path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

std::wstring FinalPathOf(HANDLE file)
{
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD length =
            GetFinalPathNameByHandleW(file, &path[0], (DWORD)path.size(), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(length + 1, L'\0');
    }
    return std::wstring();
}

// The backup folder as the walk names it in a stretch that really starts at realStart and is
// named start; empty when the backup folder does not lie below that folder.
std::wstring BackupFolderIn(const std::wstring &realBackupFolder, const std::wstring &start,
                            const std::wstring &realStart)
{
    if (realBackupFolder.size() <= realStart.size() || !IsPathWithin(realBackupFolder.c_str(), realStart.c_str()))
        return std::wstring();
    return start + realBackupFolder.substr(realStart.size());
}

// Where a folder of the walk (its path names it in frame) really is.
std::wstring RealPathIn(const WalkFrame &frame, const std::wstring &folder)
{
    return frame.realStart + folder.substr(frame.start.size());
}

// The folder that holds folder (both end in "\\").
std::wstring ParentOf(const std::wstring &folder)
{
    size_t slash = folder.find_last_of(L'\\', folder.size() - 2);
    return slash == std::wstring::npos ? folder : folder.substr(0, slash + 1);
}

} // namespace

bool GetRealPath(const wchar_t *path, std::wstring *out)
{
    std::wstring found;
    wchar_t *prefixed = MakeLongPath(path);
    if (prefixed != nullptr) {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE file = CreateFileW(prefixed, FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            found = WithoutPrefix(FinalPathOf(file));
            CloseHandle(file);
        }
        free(prefixed);
    }
    bool real = !found.empty();
    if (!real) {
        DWORD length = GetFullPathNameW(path, 0, nullptr, nullptr);
        found.assign(length, L'\0');
        length = length != 0 ? GetFullPathNameW(path, length, &found[0], nullptr) : 0;
        found.resize(length < found.size() ? length : 0);
        if (found.empty())
            found = path;
    }
    bool folder = path[0] != L'\0' && path[wcslen(path) - 1] == L'\\';
    if (folder && !EndsWithBackslash(found))
        found += L'\\';
    *out = found;
    return real;
}

WalkBounds::WalkBounds(const wchar_t *backupFolder)
{
    if (backupFolder != nullptr && backupFolder[0] != L'\0') {
        GetRealPath(backupFolder, &realBackupFolder_);
        if (!EndsWithBackslash(realBackupFolder_))
            realBackupFolder_ += L'\\';
    }
}

WalkFramePtr WalkBounds::Begin(const wchar_t *source) const
{
    std::shared_ptr<WalkFrame> frame(new (std::nothrow) WalkFrame);
    if (frame == nullptr)
        return frame;
    frame->start = source;
    if (!EndsWithBackslash(frame->start))
        frame->start += L'\\';
    GetRealPath(frame->start.c_str(), &frame->realStart);
    frame->backupFolder = BackupFolderIn(realBackupFolder_, frame->start, frame->realStart);
    return frame;
}

bool WalkBounds::NeedsCheck(const WalkFrame &frame, const std::wstring &folder, DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
           (!frame.backupFolder.empty() && IsSamePath(folder, frame.backupFolder));
}

WalkStep WalkBounds::Check(const WalkFramePtr &frame, const std::wstring &folder, DWORD attributes,
                           WalkFramePtr *inner) const
{
    *inner = frame;
    if (!frame->backupFolder.empty() && IsSamePath(folder, frame->backupFolder))
        return WalkStep::LeaveBackupFolder;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return WalkStep::Enter;
    // A link that cannot be opened leads nowhere: listing it fails as for any folder.
    std::wstring target;
    if (!GetRealPath(folder.c_str(), &target))
        return WalkStep::Enter;
    if (!realBackupFolder_.empty() && IsPathWithin(target.c_str(), realBackupFolder_.c_str()))
        return WalkStep::LeaveBackupFolder;
    // Each stretch's deepest folder on the path holds the folders above it in that stretch: a
    // target that is or holds one of them leads back.
    std::wstring holder = RealPathIn(*frame, ParentOf(folder));
    if (IsPathWithin(holder.c_str(), target.c_str()))
        return WalkStep::LeaveLinkLoop;
    for (const WalkFrame *f = frame.get(); f->outer != nullptr; f = f->outer.get())
        if (IsPathWithin(f->linkHolder.c_str(), target.c_str()))
            return WalkStep::LeaveLinkLoop;
    std::shared_ptr<WalkFrame> next(new (std::nothrow) WalkFrame);
    if (next == nullptr)
        return WalkStep::Enter;
    next->outer = frame;
    next->start = folder;
    next->realStart = target;
    next->linkHolder = holder;
    next->backupFolder = BackupFolderIn(realBackupFolder_, folder, target);
    *inner = next;
    return WalkStep::Enter;
}

bool WalkBounds::IsInBackupFolder(const wchar_t *path) const
{
    if (realBackupFolder_.empty())
        return false;
    std::wstring real;
    GetRealPath(path, &real);
    return IsPathWithin(real.c_str(), realBackupFolder_.c_str());
}

bool WalkBounds::TakeBackupFolderNote() const
{
    return InterlockedExchange(&noted_, 1) == 0;
}

void LogFolderLeftOut(FILE *log, WalkStep step, const std::wstring &folder, JobContext *context)
{
    if (step == WalkStep::LeaveLinkLoop) {
        WriteText(log, "WARNING: Folder link leads back into its own tree and is not followed: %ws\n", folder.c_str());
        ++context->warningsNoted;
    } else if (step == WalkStep::LeaveBackupFolder && context->walkBounds != nullptr &&
               context->walkBounds->TakeBackupFolderNote()) {
        WriteText(log, "INFORMATION: The backup folder lies inside a source and is left out of the backup: %ws\n",
                  folder.c_str());
    }
}
