// Settings values under HKCU\Software\Dorvane Software\Velloran\CurrentVersion\<section>.
#include "GlobalSettings.h"

#include <stdlib.h>
#include <string.h>

#include "MsvcrtFormat.h"

static_assert(sizeof(LOGFONTA) == 60, "listfont is stored as 60 bytes");

const char *const kSettingsKeyRoot = "Software\\Dorvane Software\\Velloran\\CurrentVersion\\";
static const char kKeyClass[] = "Application Per-User Data";

static bool BuildSectionKey(const char *section, char *out, size_t outSize)
{
    return FormatText(out, outSize, "%s%s", kSettingsKeyRoot, section) >= 0;
}

static bool CreateSectionKey(const char *section, HKEY *key)
{
    char path[300];
    if (!BuildSectionKey(section, path, sizeof(path)))
        return false;
    DWORD disposition;
    return RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, (LPSTR)kKeyClass, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, key, &disposition) == ERROR_SUCCESS;
}

// Reads a value into out; fails unless the text ends with a terminator inside the buffer,
// since Windows need not store one.
static bool QueryTerminatedText(HKEY key, const char *name, char *out, DWORD outSize)
{
    DWORD size = outSize;
    if (RegQueryValueExA(key, name, nullptr, nullptr, (BYTE *)out, &size) != ERROR_SUCCESS)
        return false;
    if (size == 0) {
        out[0] = '\0';
        return true;
    }
    if (out[size - 1] == '\0')
        return true;
    if (size < outSize) {
        out[size] = '\0';
        return true;
    }
    return false;
}

int ReadSettingString(const char *section, const char *name, char *out, const char *defaultText,
                      DWORD outSize)
{
    char path[300];
    HKEY key;
    if (outSize > 0 && BuildSectionKey(section, path, sizeof(path)) &&
        RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char *value = (char *)malloc(outSize);
        bool read = value != nullptr && QueryTerminatedText(key, name, value, outSize);
        RegCloseKey(key);
        if (read)
            memcpy(out, value, strlen(value) + 1);
        free(value);
        if (read)
            return 1;
    }
    if (strlen(defaultText) >= outSize)
        return 0;
    memcpy(out, defaultText, strlen(defaultText) + 1);
    return 1;
}

int WriteSettingString(const char *section, const char *name, const char *text)
{
    HKEY key;
    if (!CreateSectionKey(section, &key))
        return 0;
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int ReadSettingInt(const char *section, const char *name, int defaultValue)
{
    char defaultText[50];
    char text[49];
    FormatText(defaultText, sizeof(defaultText), "%d", defaultValue);
    ReadSettingString(section, name, text, defaultText, sizeof(text));
    // A text that does not begin with a number keeps the default.
    char *end = nullptr;
    long value = strtol(text, &end, 10);
    return end == text ? defaultValue : (int)value;
}

int WriteSettingInt(const char *section, const char *name, int value)
{
    char text[50];
    FormatText(text, sizeof(text), "%d", value);
    return WriteSettingString(section, name, text);
}

int WriteListFont()
{
    HKEY key;
    if (!CreateSectionKey("list", &key))
        return 0;
    LONG status = RegSetValueExA(key, "listfont", 0, REG_BINARY, (const BYTE *)&listFont,
                                 sizeof(listFont));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int ReadListFont()
{
    char path[300];
    HKEY key;
    if (!BuildSectionKey("list", path, sizeof(path)) ||
        RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    // Read into a copy: only a value of the full size and type replaces the font.
    LOGFONTA stored;
    DWORD type = 0;
    DWORD size = sizeof(stored);
    if (RegQueryValueExA(key, "listfont", nullptr, &type, (BYTE *)&stored, &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof(stored)) {
        stored.lfFaceName[LF_FACESIZE - 1] = '\0';
        listFont = stored;
    }
    RegCloseKey(key);
    return 1;
}

void ApplySavedListFont(HWND list)
{
    HFONT current = (HFONT)SendMessageA(list, WM_GETFONT, 0, 0);
    if (current == nullptr)
        current = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    GetObjectA(current, sizeof(listFont), &listFont);
    ReadListFont();
    HFONT font = CreateFontIndirectA(&listFont);
    if (font == nullptr)
        return;
    // The list lets go of the old font before it is deleted.
    HFONT previous = listFontHandle;
    listFontHandle = font;
    SendMessageA(list, WM_SETFONT, (WPARAM)font, TRUE);
    if (previous != nullptr)
        DeleteObject(previous);
    InvalidateRect(list, nullptr, TRUE);
}
