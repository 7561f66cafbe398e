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
