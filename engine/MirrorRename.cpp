#include "MirrorRename.h"

#include <windows.h>
#include <stdlib.h>

#include <string>

#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"

namespace {

// Names tried for the step between; one of the user's own is never replaced.
const int kBetweenNames = 8;

bool MoveLong(const std::wstring &from, const std::wstring &to)
{
    wchar_t *longFrom = MakeLongPath(from.c_str());
    wchar_t *longTo = MakeLongPath(to.c_str());
    BOOL moved = FALSE;
    if (longFrom == nullptr || longTo == nullptr)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    else
        moved = MoveFileExW(longFrom, longTo, 0);
    DWORD error = GetLastError();
    free(longFrom);
    free(longTo);
    SetLastError(error);
    return moved != FALSE;
}

} // namespace

// In two steps, through a name of our own beside the item: some file systems (Wine's among
// them) take a rename to the same name in another case for no change at all. A run cut off
// between the steps leaves the item under that name; the next run's deleted-items pass takes it
// out of the mirror like any item whose source is gone, and the walk mirrors the source anew.
int RenameToSourceCase(const wchar_t *folder, const wchar_t *oldName, const wchar_t *newName, FILE *log)
{
    std::wstring from = std::wstring(folder) + oldName;
    std::wstring to = std::wstring(folder) + newName;
    for (int attempt = 0; attempt < kBetweenNames; ++attempt) {
        std::wstring between = std::wstring(folder) + L"~vlrcase" + std::to_wstring(attempt) + L".tmp";
        if (MoveLong(from, between)) {
            if (MoveLong(between, to)) {
                if (gSettings.logVerbose)
                    WriteText(log, "Renamed backup item:\n\tFrom: %ws\n\tTo:   %ws\n", from.c_str(), to.c_str());
                return 1;
            }
            DWORD error = GetLastError();
            MoveLong(between, from);
            SetLastError(error);
            break;
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            break;
    }
    LogLastError("Rename", log);
    WriteText(log, "WARNING: Unable to give backup item its source's name:\n\tFrom: %ws\n\tTo:   %ws\n", from.c_str(),
              to.c_str());
    return 0;
}
