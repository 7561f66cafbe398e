#include "ExtensionFilter.h"

#include <windows.h>
#include <string.h>

#include "TextConversion.h"

bool PassesExtensionFilter(const wchar_t *name, const ExtensionEntry *extensions, int extensionCount,
                           int32_t filterFlags)
{
    bool include = (filterFlags & IncludeListedExtensions) != 0;
    const wchar_t *dot = wcsrchr(name, L'.');
    if (dot == nullptr)
        return !include;
    char extension[1024];
    WideToAnsiBuffer(extension, sizeof(extension), dot + 1);
    for (int i = 0; i < extensionCount; ++i) {
        char entry[sizeof(ExtensionEntry) + 1];
        memcpy(entry, extensions[i], sizeof(ExtensionEntry));
        entry[sizeof(ExtensionEntry)] = '\0';
        if (lstrcmpiA(extension, entry) == 0)
            return include;
    }
    return !include;
}

bool IsSkippedByAttributes(uint32_t attributes, int32_t filterFlags)
{
    if ((filterFlags & SkipHidden) && (attributes & FILE_ATTRIBUTE_HIDDEN))
        return true;
    return (filterFlags & SkipSystem) && (attributes & FILE_ATTRIBUTE_SYSTEM);
}
