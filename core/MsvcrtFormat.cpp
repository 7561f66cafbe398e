#include "MsvcrtFormat.h"

#include <wchar.h>

int FormatTextV(char *buffer, size_t size, const char *format, va_list args)
{
    if (buffer == nullptr || size == 0)
        return -1;
    // _vsnprintf is msvcrt's own export; it leaves the buffer unterminated when full.
    int written = _vsnprintf(buffer, size, format, args);
    if (written < 0 || (size_t)written >= size) {
        buffer[size - 1] = '\0';
        return -1;
    }
    return written;
}

int FormatText(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int written = FormatTextV(buffer, size, format, args);
    va_end(args);
    return written;
}

int FormatTextW(wchar_t *buffer, size_t size, const wchar_t *format, ...)
{
    if (buffer == nullptr || size == 0)
        return -1;
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(buffer, size, format, args);
    va_end(args);
    if (written < 0 || (size_t)written >= size) {
        buffer[size - 1] = L'\0';
        return -1;
    }
    return written;
}

int WriteTextV(FILE *stream, const char *format, va_list args)
{
    if (stream == nullptr)
        return -1;
    return __ms_vfprintf(stream, format, args);
}

int WriteText(FILE *stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int written = WriteTextV(stream, format, args);
    va_end(args);
    return written;
}
