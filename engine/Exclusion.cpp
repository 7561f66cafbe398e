#include "Exclusion.h"

#include <windows.h>

#include "BackupConfig.h"
#include "TextConversion.h"

static wchar_t UpperChar(wchar_t c)
{
    return (wchar_t)(ULONG_PTR)CharUpperW((LPWSTR)(ULONG_PTR)c);
}

bool IsPathWithin(const wchar_t *path, const wchar_t *prefix)
{
    if (prefix[0] == L'\0')
        return false;
    size_t i = 0;
    for (; prefix[i] != L'\0'; ++i)
        if (path[i] == L'\0' || UpperChar(path[i]) != UpperChar(prefix[i]))
            return false;
    return prefix[i - 1] == L'\\' || path[i] == L'\0' || path[i] == L'\\';
}

bool IsExcluded(const wchar_t *path, const BackupConfig *config)
{
    static thread_local wchar_t item[kWideBufferChars];
    for (int i = 0; i < config->excludedCount; ++i) {
        if (config->excludedItems[i][0] == '\0')
            continue;
        AnsiToWideBuffer(item, config->excludedItems[i]);
        if (IsPathWithin(path, item))
            return true;
    }
    return false;
}
