#include "TextConversion.h"

#include <windows.h>
#include <stdlib.h>

wchar_t *AnsiToWideAlloc(const char *text)
{
    int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (chars <= 0)
        return nullptr;
    wchar_t *wide = (wchar_t *)malloc((size_t)chars * sizeof(wchar_t));
    if (wide == nullptr)
        return nullptr;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, chars) <= 0) {
        free(wide);
        return nullptr;
    }
    wide[chars - 1] = L'\0';
    return wide;
}

char *WideToAnsiAlloc(const wchar_t *text)
{
    // Double-byte code pages may need two bytes per character: ask for the real size.
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return nullptr;
    char *ansi = (char *)malloc((size_t)bytes);
    if (ansi == nullptr)
        return nullptr;
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, bytes, nullptr, nullptr) <= 0) {
        free(ansi);
        return nullptr;
    }
    ansi[bytes - 1] = '\0';
    return ansi;
}

int AnsiToWideBuffer(wchar_t *out, const char *text)
{
    // Convert what fits; a text too long for the buffer is cut, never left unterminated.
    wchar_t *wide = AnsiToWideAlloc(text);
    out[0] = L'\0';
    if (wide != nullptr) {
        lstrcpynW(out, wide, (int)kWideBufferChars);
        free(wide);
    }
    return 0;
}

int WideToAnsiBuffer(char *out, size_t outSize, const wchar_t *text)
{
    if (outSize == 0)
        return 0;
    out[0] = '\0';
    char *ansi = WideToAnsiAlloc(text);
    if (ansi != nullptr) {
        lstrcpynA(out, ansi, (int)outSize);
        free(ansi);
    }
    return 0;
}
