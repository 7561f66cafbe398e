#include "PathText.h"

#include <windows.h>
#include <stdlib.h>

#include "LongPath.h"

static bool ConvertToWide(unsigned codePage, DWORD flags, const std::string &text, std::wstring *wide)
{
    wide->clear();
    if (text.empty())
        return true;
    int length = MultiByteToWideChar(codePage, flags, text.data(), (int)text.size(), nullptr, 0);
    if (length <= 0)
        return false;
    wide->resize((size_t)length);
    return MultiByteToWideChar(codePage, flags, text.data(), (int)text.size(), &(*wide)[0], length) == length;
}

bool ConvertAnsiToWide(const std::string &text, std::wstring *wide)
{
    return ConvertToWide(CP_ACP, 0, text, wide);
}

bool ConvertUtf8ToWide(const std::string &text, std::wstring *wide)
{
    return ConvertToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, wide);
}

std::string ConvertWideToAnsi(const std::wstring &wide)
{
    std::string ansi;
    if (wide.empty())
        return ansi;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), (int)wide.size(), nullptr, 0,
                                     nullptr, nullptr);
    if (length <= 0)
        return ansi;
    ansi.resize((size_t)length);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), (int)wide.size(), &ansi[0], length, nullptr,
                        nullptr);
    return ansi;
}

bool ConvertWideToUtf8(const std::wstring &wide, std::string *utf8)
{
    utf8->clear();
    if (wide.empty())
        return true;
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return false;
    utf8->resize((size_t)length);
    return WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &(*utf8)[0], length, nullptr,
                               nullptr) == length;
}

// Whether the path names its drive or share itself: "X:\..." or "\\server\...".
static bool IsRooted(const std::wstring &path)
{
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.compare(0, 2, L"\\\\") == 0;
}

// The path against the current folder. A relative path is joined to it as text: the system's own
// resolution would drop a trailing dot or space and turn "aux.txt" into a device.
static bool MakeFullPath(const std::wstring &path, std::wstring *full)
{
    if (IsRooted(path)) {
        *full = path;
        return true;
    }
    if (path.empty() || path[0] == L'\\' || (path.size() >= 2 && path[1] == L':')) {
        // Relative to the current drive's root, or to a drive's own current folder.
        DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
        if (needed == 0)
            return false;
        full->assign(needed, L'\0');
        DWORD length = GetFullPathNameW(path.c_str(), needed, &(*full)[0], nullptr);
        if (length == 0 || length >= needed)
            return false;
        full->resize(length);
        return true;
    }
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0)
        return false;
    full->assign(needed, L'\0');
    DWORD length = GetCurrentDirectoryW(needed, &(*full)[0]);
    if (length == 0 || length >= needed)
        return false;
    full->resize(length);
    if (full->back() != L'\\')
        *full += L'\\';
    *full += path;
    return true;
}

bool MakeFilePath(const std::wstring &path, std::wstring *filePath)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0) {
        *filePath = path;
        return true;
    }
    // List lines may separate folders with "/"; the prefixed form takes only "\".
    std::wstring separated = path;
    for (wchar_t &c : separated)
        if (c == L'/')
            c = L'\\';
    std::wstring full;
    if (!MakeFullPath(separated, &full))
        return false;
    if (!NeedsLongPath(full.c_str())) {
        *filePath = full;
        return true;
    }
    wchar_t *prefixed = MakeLongPath(full.c_str());
    if (prefixed == nullptr)
        return false;
    *filePath = prefixed;
    free(prefixed);
    return true;
}
