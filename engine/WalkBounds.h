// Where the walks of a job's sources (the mirror walk, the size count and the ZIP listing) stop.
// The job's own backup folder is left out wherever it lies in a source, or every run would copy
// the backup into itself. A folder link (a junction or a symbolic link) is followed once; one
// that leads to a folder already on the walk's path, or to one that holds such a folder, is not
// entered again, or the walk would never end. Both are told from paths in memory: only a folder
// link, known by the attributes its folder is listed with, is asked where it leads.
#pragma once
#include <windows.h>
#include <stdio.h>

#include <memory>
#include <string>

// Where a file or folder really is: its full path as the system resolves it (links followed, a
// drive mapped under two letters named by one of them), ending in "\\" when path does. false
// when it cannot be opened; *out is then its full path as written.
bool GetRealPath(const wchar_t *path, std::wstring *out);

// One stretch of a walk: from its source folder, or from a folder link, down to the next link.
// Paths end in "\\".
struct WalkFrame {
    std::shared_ptr<const WalkFrame> outer; // the stretch the link was met in; none for the source
    std::wstring start;        // the stretch's first folder as the walk names it
    std::wstring realStart;    // where that folder really is
    std::wstring linkHolder;   // where the folder that holds the link really is; empty for the source
    std::wstring backupFolder; // the backup folder as the walk names it in this stretch; empty when outside
};
typedef std::shared_ptr<const WalkFrame> WalkFramePtr;

enum class WalkStep { Enter, LeaveBackupFolder, LeaveLinkLoop };

class WalkBounds {
public:
    // backupFolder: the job's backup folder (it need not exist yet); NULL or empty for none.
    explicit WalkBounds(const wchar_t *backupFolder);
    // The frame of a walk that begins at the source folder (its path ends in "\\"); NULL when
    // memory ran out.
    WalkFramePtr Begin(const wchar_t *source) const;
    // What a walk in frame does with the subfolder folder (its path ends in "\\"), listed with
    // these attributes. To enter it, the walk walks it in *inner: frame itself, or a new frame
    // when the folder is a link.
    WalkStep Check(const WalkFramePtr &frame, const std::wstring &folder, DWORD attributes, WalkFramePtr *inner) const;
    // The cheap part of Check, for a walk that only looks ahead: true for a folder link and for
    // the backup folder.
    static bool NeedsCheck(const WalkFrame &frame, const std::wstring &folder, DWORD attributes);
    // Whether the path (a source file or folder) lies in the backup folder or is the folder itself.
    bool IsInBackupFolder(const wchar_t *path) const;
    // True the first time only: the walk that meets the backup folder first says so in the log.
    bool TakeBackupFolderNote() const;

private:
    std::wstring realBackupFolder_;
    mutable volatile LONG noted_ = 0;
};

struct JobContext;
// Logs a folder that a walk of the job left out: the backup folder once per job, a folder link
// that leads back each time it is met, as a warning of the job's.
void LogFolderLeftOut(FILE *log, WalkStep step, const std::wstring &folder, JobContext *context);
