// Whether a mirror copy still matches its source file.
#pragma once
#include <windows.h>
#include <stdint.h>

// 64-bit count of 100 ns units of a FILETIME.
int64_t FileTimeTicks(const FILETIME &time);
// Changed when size, read-only bit or hidden bit differ, or when the last-write times are
// further apart than allowedDelta (100 ns units; a difference of exactly allowedDelta is
// unchanged). The times are compared as whole 64-bit counts.
bool IsMirrorChanged(const WIN32_FIND_DATAW &mirror, const WIN32_FIND_DATAW &source, int32_t allowedDelta);
// Allowed last-write difference for a source and destination of these file-system kinds
// (FileSystemKind): 2 seconds between NTFS and FAT, whose clock ticks in 2-second steps,
// otherwise the configured tolerance for like drives.
int32_t ChooseAllowedTimeDelta(int sourceKind, int destinationKind, int32_t likeDriveDelta);
