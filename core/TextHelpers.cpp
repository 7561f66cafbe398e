#include "TextHelpers.h"

#include <ctype.h>
#include <string.h>
#include <wctype.h>

#include "MsvcrtFormat.h"

static const char kForbiddenNameChars[] = "\\/:*?\"<>|";

void PrependChar(char *text, char c)
{
    memmove(text + 1, text, strlen(text) + 1);
    text[0] = c;
}

void DeleteFirstChar(char *position)
{
    memmove(position, position + 1, strlen(position));
}

void PrependString(char *text, const char *prefix)
{
    size_t prefixLength = strlen(prefix);
    memmove(text + prefixLength, text, strlen(text) + 1);
    memcpy(text, prefix, prefixLength);
}

void ReplaceAll(char *text, const char *search, const char *replacement)
{
    size_t searchLength = strlen(search);
    size_t replacementLength = strlen(replacement);
    if (searchLength == 0)
        return;
    char *position = text;
    while (strlen(position) >= searchLength) {
        char *found = strstr(position, search);
        if (found == nullptr)
            return;
        memmove(found, found + searchLength, strlen(found + searchLength) + 1);
        memmove(found + replacementLength, found, strlen(found) + 1);
        memcpy(found, replacement, replacementLength);
        position = found + replacementLength; // never rescan the inserted text
    }
}

static bool IsBlank(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

void TrimLeadingWhitespace(char *text)
{
    size_t length = strlen(text);
    for (size_t i = 0; i < length && IsBlank(text[0]); ++i)
        DeleteFirstChar(text);
}

void TrimTrailingWhitespace(char *text)
{
    size_t length = strlen(text);
    while (length > 0 && IsBlank(text[length - 1]))
        text[--length] = '\0';
}

char *FindNoCase(const char *text, const char *search)
{
    if (search[0] == '\0')
        return nullptr;
    for (const char *start = text; *start != '\0'; ++start) {
        size_t i = 0;
        while (search[i] != '\0' && start[i] != '\0' &&
               toupper((unsigned char)start[i]) == toupper((unsigned char)search[i]))
            ++i;
        if (search[i] == '\0')
            return (char *)start;
    }
    return nullptr;
}

wchar_t *FindNoCaseW(const wchar_t *text, const wchar_t *search)
{
    if (search[0] == L'\0')
        return nullptr;
    for (const wchar_t *start = text; *start != L'\0'; ++start) {
        size_t i = 0;
        while (search[i] != L'\0' && start[i] != L'\0' &&
               towupper(start[i]) == towupper(search[i]))
            ++i;
        if (search[i] == L'\0')
            return (wchar_t *)start;
    }
    return nullptr;
}

int IsValidFileName(const char *name)
{
    size_t length = strlen(name);
    if (length < 1 || length > 260)
        return 0;
    return strpbrk(name, kForbiddenNameChars) == nullptr ? 1 : 0;
}

void SanitizeFileName(char *out, size_t outSize, const char *name)
{
    if (outSize == 0)
        return;
    strncpy(out, name, outSize - 1);
    out[outSize - 1] = '\0';
    char *position = out;
    while (*position != '\0') {
        if (strchr(kForbiddenNameChars, *position) != nullptr)
            DeleteFirstChar(position);
        else
            ++position;
    }
}

void SanitizeFileNameW(wchar_t *out, size_t outChars, const wchar_t *name)
{
    if (outChars == 0)
        return;
    wcsncpy(out, name, outChars - 1);
    out[outChars - 1] = L'\0';
    wchar_t *position = out;
    while (*position != L'\0') {
        if (wcschr(L"\\/:*?\"<>|", *position) != nullptr)
            memmove(position, position + 1, wcslen(position) * sizeof(wchar_t));
        else
            ++position;
    }
}

bool IsOwnFolderName(const char *description)
{
    char name[128];
    SanitizeFileName(name, sizeof(name), description);
    // "." and ".." end in a dot too.
    size_t length = strlen(name);
    return length == 0 || (name[length - 1] != '.' && name[length - 1] != ' ');
}

int ScramblePassword(char *text)
{
    int length = (int)strlen(text);
    for (int i = 0; i < length; ++i)
        text[i] = (char)((unsigned char)text[i] ^ kPasswordKey);
    return length;
}

bool IsPathPrefixOf(const char *item, const char *path)
{
    return item[0] != '\0' && FindNoCase(path, item) == path;
}

int CanScramblePassword(const char *text)
{
    return strchr(text, (char)kPasswordKey) == nullptr ? 1 : 0;
}

void FormatOneLine(char *out, size_t outSize, const char *text)
{
    if (outSize == 0)
        return;
    size_t used = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; ++p) {
        char piece[8] = {(char)*p, '\0'};
        if (*p == '\r')
            strcpy(piece, "<CR>");
        else if (*p == '\n')
            strcpy(piece, "<LF>");
        else if (*p < 0x20 && *p != '\t')
            FormatText(piece, sizeof(piece), "<0x%02X>", (unsigned)*p);
        size_t length = strlen(piece);
        if (used + length >= outSize)
            break;  // a cut never leaves half a marker
        memcpy(out + used, piece, length);
        used += length;
    }
    out[used] = '\0';
}

int HoldsLineBreak(const char *text)
{
    return strpbrk(text, "\r\n") != nullptr ? 1 : 0;
}
