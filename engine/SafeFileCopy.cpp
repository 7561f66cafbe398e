#include "SafeFileCopy.h"

#include <stdlib.h>
#include <wchar.h>

#include "LongPath.h"

const wchar_t kPartialCopySuffix[] = L".vlrpart";

static DWORD CALLBACK CheckCancel(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                                  HANDLE, HANDLE, LPVOID data)
{
    const volatile uint8_t *cancel = static_cast<const volatile uint8_t *>(data);
    if (cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1)
        return PROGRESS_CANCEL;
    return PROGRESS_CONTINUE;
}

bool IsPartialCopyName(const wchar_t *name)
{
    size_t length = wcslen(name);
    size_t suffixLength = wcslen(kPartialCopySuffix);
    return length > suffixLength && _wcsicmp(name + length - suffixLength, kPartialCopySuffix) == 0;
}

BOOL CopyFileSafely(const wchar_t *source, const wchar_t *target, const volatile uint8_t *cancel)
{
    BOOL copied = FALSE;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    wchar_t *longSource = MakeLongPath(source);
    wchar_t *partial = nullptr;
    wchar_t *longTarget = MakeLongPath(target);
    size_t targetLength = longTarget != nullptr ? wcslen(longTarget) : 0;
    if (longSource == nullptr || longTarget == nullptr)
        goto done;
    partial = static_cast<wchar_t *>(malloc((targetLength + wcslen(kPartialCopySuffix) + 1) * sizeof(wchar_t)));
    if (partial == nullptr)
        goto done;
    wcscpy(partial, longTarget);
    wcscat(partial, kPartialCopySuffix);
    SetFileAttributesW(partial, FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileExW(longSource, partial, CheckCancel, (LPVOID)cancel, nullptr, 0)) {
        error = GetLastError();
        DeleteFileW(partial);
        goto done;
    }
    if (cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_ACQUIRE) == 1) {
        error = ERROR_REQUEST_ABORTED;
        SetFileAttributesW(partial, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(partial);
        goto done;
    }
    if (!MoveFileExW(partial, longTarget, MOVEFILE_REPLACE_EXISTING)) {
        error = GetLastError();
        SetFileAttributesW(partial, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(partial);
        goto done;
    }
    copied = TRUE;
    error = ERROR_SUCCESS;
done:
    free(longSource);
    free(longTarget);
    free(partial);
    SetLastError(error);
    return copied;
}
