#include "FileChange.h"

#include "FolderHelpers.h"

int64_t FileTimeTicks(const FILETIME &time)
{
    return (int64_t)(((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime);
}

bool IsMirrorChanged(const WIN32_FIND_DATAW &mirror, const WIN32_FIND_DATAW &source, int32_t allowedDelta)
{
    const DWORD compared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    if (mirror.nFileSizeLow != source.nFileSizeLow || mirror.nFileSizeHigh != source.nFileSizeHigh)
        return true;
    if ((mirror.dwFileAttributes & compared) != (source.dwFileAttributes & compared))
        return true;
    int64_t difference = FileTimeTicks(mirror.ftLastWriteTime) - FileTimeTicks(source.ftLastWriteTime);
    if (difference < 0)
        difference = -difference;
    int64_t allowed = allowedDelta < 0 ? 0 : allowedDelta;
    return difference > allowed;
}

int32_t ChooseAllowedTimeDelta(int sourceKind, int destinationKind, int32_t likeDriveDelta)
{
    bool mixed = (sourceKind == FileSystemNtfs && destinationKind == FileSystemFat) ||
                 (sourceKind == FileSystemFat && destinationKind == FileSystemNtfs);
    return mixed ? 20000000 : likeDriveDelta;
}
