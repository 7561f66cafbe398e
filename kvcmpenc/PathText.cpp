#include "LongPath.h"

#include <windows.h>

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

bool MakeLongPath(const std::wstring &path, std::wstring *longPath)
{
    if (path.compare(0, 4, L"\\\\?\\") == 0) {
        *longPath = path;
        return true;
    }
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return false;
    full.resize(length);
    if (full.size() < MAX_PATH)
        *longPath = full;
    else if (full.compare(0, 2, L"\\\\") == 0)
        *longPath = L"\\\\?\\UNC\\" + full.substr(2);
    else
        *longPath = L"\\\\?\\" + full;
    return true;
}
