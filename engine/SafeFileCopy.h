// Copies a file over its mirror copy through a temporary name beside it, so that an
// interrupted or stopped copy never leaves a partial file under the final name.
#pragma once
#include <windows.h>
#include <stdint.h>

// Suffix of the temporary copy; a leftover one is removed by the deleted-files pass.
extern const wchar_t kPartialCopySuffix[];

// Like CopyFileLong (overwriting). A set cancel byte stops the copy between chunks, with
// ERROR_REQUEST_ABORTED. On failure the last error is the one of the failing call.
BOOL CopyFileSafely(const wchar_t *source, const wchar_t *target, const volatile uint8_t *cancel);
bool IsPartialCopyName(const wchar_t *name);
