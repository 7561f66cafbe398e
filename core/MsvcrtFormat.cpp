#include "MsvcrtFormat.h"

#include <windows.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

// The format is walked here, one conversion at a time. Numbers and pointers are handed to
// msvcrt one by one, so they print exactly as its printf prints them; text of the other width
// is converted here. msvcrt itself converts "%ws" only in the C locale, where any character
// beyond U+00FF makes the whole call fail and the line is never written: here a character
// that the ANSI code page lacks becomes '?', and the rest of the line stands.

namespace {

// Output of one call: as much as fits in the buffer, and the length the whole text needs.
template <typename Char>
struct Sink {
    Char *buffer;
    size_t size;     // characters the buffer holds, terminator included
    size_t length;   // characters produced so far, also those that did not fit

    void Put(const Char *text, size_t count)
    {
        if (length < size - 1) {
            size_t room = size - 1 - length;
            memcpy(buffer + length, text, (count < room ? count : room) * sizeof(Char));
        }
        length += count;
    }
    void PutRepeated(Char c, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            Put(&c, 1);
    }
    void Terminate() { buffer[length < size ? length : size - 1] = 0; }
};

// One conversion of the format as written, with '*' already read from the arguments.
struct Conversion {
    char flags[8];
    int flagCount;
    bool leftAlign;
    int width;       // -1 when not given
    int precision;   // -1 when not given
    char length[4];  // "", "h", "hh", "l", "ll", "L", "w", "I", "I32", "I64"
    char type;
};

template <typename Char>
bool IsDigit(Char c)
{
    return c >= '0' && c <= '9';
}

template <typename Char>
int ReadNumber(const Char **p)
{
    int value = 0;
    while (IsDigit(**p)) {
        if (value < 100000)   // a width or precision stops growing near a million
            value = value * 10 + (int)(**p - '0');
        ++*p;
    }
    return value;
}

// Reads the conversion after '%'; *p is left after its type character. False when the format
// ends inside it.
template <typename Char>
bool ParseConversion(const Char **p, va_list *args, Conversion *c)
{
    memset(c, 0, sizeof(*c));
    c->width = -1;
    c->precision = -1;
    const Char *s = *p;
    while (*s == '-' || *s == '+' || *s == ' ' || *s == '#' || *s == '0') {
        if (*s == '-')
            c->leftAlign = true;
        if (c->flagCount < (int)sizeof(c->flags) - 1)
            c->flags[c->flagCount++] = (char)*s;
        ++s;
    }
    if (*s == '*') {
        c->width = va_arg(*args, int);
        if (c->width < 0) {
            c->leftAlign = true;
            c->width = -c->width;
            if (c->flagCount < (int)sizeof(c->flags) - 1)
                c->flags[c->flagCount++] = '-';
        }
        ++s;
    } else if (IsDigit(*s)) {
        c->width = ReadNumber(&s);
    }
    if (*s == '.') {
        ++s;
        if (*s == '*') {
            c->precision = va_arg(*args, int);
            if (c->precision < 0)
                c->precision = -1;
            ++s;
        } else {
            c->precision = ReadNumber(&s);
        }
    }
    if (s[0] == 'I' && s[1] == '6' && s[2] == '4') {
        strcpy(c->length, "I64");
        s += 3;
    } else if (s[0] == 'I' && s[1] == '3' && s[2] == '2') {
        strcpy(c->length, "I32");
        s += 3;
    } else if ((s[0] == 'h' || s[0] == 'l') && s[1] == s[0]) {
        c->length[0] = c->length[1] = (char)s[0];
        s += 2;
    } else if (s[0] == 'h' || s[0] == 'l' || s[0] == 'L' || s[0] == 'w' || s[0] == 'I') {
        c->length[0] = (char)s[0];
        s += 1;
    }
    if (*s == 0 || (unsigned)*s > 0x7f)
        return false;
    c->type = (char)*s;
    *p = s + 1;
    return true;
}

// The conversion rebuilt for msvcrt, width and precision as numbers.
void BuildConversionText(const Conversion &c, char *conversion, size_t size)
{
    char width[16] = "", precision[16] = "";
    if (c.width >= 0)
        _snprintf(width, sizeof(width), "%d", c.width);
    if (c.precision >= 0)
        _snprintf(precision, sizeof(precision), ".%d", c.precision);
    _snprintf(conversion, size, "%%%s%s%s%s%c", c.flags, width, precision, c.length, c.type);
    conversion[size - 1] = '\0';
}

void WidenConversionText(const char *conversion, wchar_t *wide, size_t size)
{
    size_t i = 0;
    for (; conversion[i] != '\0' && i < size - 1; ++i)
        wide[i] = (wchar_t)(unsigned char)conversion[i];
    wide[i] = L'\0';
}

int PrintPiece(char *out, size_t size, const char *conversion, va_list args)
{
    return _vsnprintf(out, size, conversion, args);
}

int PrintPiece(wchar_t *out, size_t size, const char *conversion, va_list args)
{
    wchar_t wideConversion[40];
    WidenConversionText(conversion, wideConversion, 40);
    return _vsnwprintf(out, size, wideConversion, args);
}

// The length a piece needs; the first argument only chooses the width.
int MeasurePiece(const char *, const char *conversion, va_list args)
{
    return _vscprintf(conversion, args);
}

int MeasurePiece(const wchar_t *, const char *conversion, va_list args)
{
    wchar_t wideConversion[40];
    WidenConversionText(conversion, wideConversion, 40);
    return _vscwprintf(wideConversion, args);
}

// One number or pointer through msvcrt. The value travels in a va_list of its own so that
// every type reaches msvcrt as the caller passed it.
template <typename Char>
void PutThroughMsvcrt(Sink<Char> &sink, const char *conversion, ...)
{
    const size_t pieceChars = 512;
    Char piece[pieceChars];
    va_list args;
    va_start(args, conversion);
    int written = PrintPiece(piece, pieceChars, conversion, args);
    va_end(args);
    if (written >= 0 && (size_t)written < pieceChars) {
        sink.Put(piece, (size_t)written);
        return;
    }
    va_start(args, conversion);
    int needed = MeasurePiece(piece, conversion, args);
    va_end(args);
    Char *large = needed > 0 ? static_cast<Char *>(malloc(((size_t)needed + 1) * sizeof(Char))) : nullptr;
    if (large == nullptr) {
        // Out of memory: what fitted is better than nothing.
        sink.Put(piece, pieceChars - 1);
        return;
    }
    va_start(args, conversion);
    written = PrintPiece(large, (size_t)needed + 1, conversion, args);
    va_end(args);
    if (written > 0)
        sink.Put(large, (size_t)written);
    free(large);
}

template <typename Char>
void PutPadded(Sink<Char> &sink, const Conversion &c, const Char *text, size_t count)
{
    size_t pad = c.width > 0 && (size_t)c.width > count ? (size_t)c.width - count : 0;
    if (!c.leftAlign)
        sink.PutRepeated((Char)' ', pad);
    sink.Put(text, count);
    if (c.leftAlign)
        sink.PutRepeated((Char)' ', pad);
}

// Text already in the output's width; precision counts its characters.
void PutText(Sink<char> &sink, const Conversion &c, const char *text)
{
    size_t count = c.precision >= 0 ? strnlen(text, (size_t)c.precision) : strlen(text);
    PutPadded(sink, c, text, count);
}

void PutText(Sink<wchar_t> &sink, const Conversion &c, const wchar_t *text)
{
    size_t count = c.precision >= 0 ? wcsnlen(text, (size_t)c.precision) : wcslen(text);
    PutPadded(sink, c, text, count);
}

// Wide text into ANSI output; at most `precision` bytes, never half a double-byte character.
void PutOtherText(Sink<char> &sink, const Conversion &c, const wchar_t *text)
{
    size_t count = c.precision >= 0 ? wcsnlen(text, (size_t)c.precision) : wcslen(text);
    char small[1024];
    char *ansi = small;
    int bytes = 0;
    while (count > 0) {
        bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, (int)count, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) {
            bytes = 0;
            break;
        }
        if (c.precision < 0 || bytes <= c.precision)
            break;
        --count;
    }
    if (bytes > 0 && (size_t)bytes > sizeof(small)) {
        ansi = static_cast<char *>(malloc((size_t)bytes));
        if (ansi == nullptr) {
            ansi = small;
            bytes = 0;
        }
    }
    if (bytes > 0)
        bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, (int)count, ansi, bytes, nullptr, nullptr);
    PutPadded(sink, c, ansi, bytes > 0 ? (size_t)bytes : 0);
    if (ansi != small)
        free(ansi);
}

// ANSI text into wide output; precision counts the bytes read.
void PutOtherText(Sink<wchar_t> &sink, const Conversion &c, const char *text)
{
    size_t count = c.precision >= 0 ? strnlen(text, (size_t)c.precision) : strlen(text);
    wchar_t small[1024];
    wchar_t *wide = small;
    int chars = count > 0 ? MultiByteToWideChar(CP_ACP, 0, text, (int)count, nullptr, 0) : 0;
    if (chars > 0 && (size_t)chars > sizeof(small) / sizeof(small[0])) {
        wide = static_cast<wchar_t *>(malloc((size_t)chars * sizeof(wchar_t)));
        if (wide == nullptr) {
            wide = small;
            chars = 0;
        }
    }
    if (chars > 0)
        chars = MultiByteToWideChar(CP_ACP, 0, text, (int)count, wide, chars);
    Conversion whole = c;
    whole.precision = -1;
    PutPadded(sink, whole, wide, chars > 0 ? (size_t)chars : 0);
    if (wide != small)
        free(wide);
}

bool IsLength(const Conversion &c, const char *length)
{
    return strcmp(c.length, length) == 0;
}

// Whether a string or character conversion takes the other width than the output's:
// in ANSI output "%ws", "%ls", "%S", "%wc", "%lc", "%C"; in wide output "%hs", "%S", "%hc", "%C".
bool TakesOtherWidth(const Conversion &c, bool wideOutput)
{
    bool upper = c.type == 'S' || c.type == 'C';
    if (!wideOutput)
        return upper || IsLength(c, "l") || IsLength(c, "w");
    return upper ? !(IsLength(c, "l") || IsLength(c, "w")) : IsLength(c, "h");
}

template <typename Char>
void PutInteger(Sink<Char> &sink, const Conversion &c, va_list *args)
{
    char conversion[40];
    BuildConversionText(c, conversion, sizeof(conversion));
    if (IsLength(c, "I64") || IsLength(c, "ll"))
        PutThroughMsvcrt(sink, conversion, va_arg(*args, long long));
    else if (IsLength(c, "I"))
        PutThroughMsvcrt(sink, conversion, va_arg(*args, intptr_t));
    else if (IsLength(c, "l"))
        PutThroughMsvcrt(sink, conversion, va_arg(*args, long));
    else
        PutThroughMsvcrt(sink, conversion, va_arg(*args, int));
}

// "%ws" and its kin in ANSI output, "%hs" and its kin in wide output.
void PutOtherString(Sink<char> &sink, const Conversion &c, va_list *args)
{
    const wchar_t *text = va_arg(*args, const wchar_t *);
    PutOtherText(sink, c, text != nullptr ? text : L"(null)");
}

void PutOtherString(Sink<wchar_t> &sink, const Conversion &c, va_list *args)
{
    const char *text = va_arg(*args, const char *);
    PutOtherText(sink, c, text != nullptr ? text : "(null)");
}

void PutOtherCharacter(Sink<char> &sink, const Conversion &c, int value)
{
    wchar_t wide = (wchar_t)value;
    char ansi[4] = "";
    int bytes = wide == 0 ? 1
                          : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide, 1, ansi, sizeof(ansi), nullptr,
                                                nullptr);
    if (bytes <= 0) {
        ansi[0] = '?';
        bytes = 1;
    }
    PutPadded(sink, c, ansi, (size_t)bytes);
}

void PutOtherCharacter(Sink<wchar_t> &sink, const Conversion &c, int value)
{
    char ansi = (char)value;
    wchar_t wide = 0;
    if (ansi != 0 && MultiByteToWideChar(CP_ACP, 0, &ansi, 1, &wide, 1) != 1)
        wide = L'?';
    PutPadded(sink, c, &wide, 1);
}

template <typename Char>
void PutString(Sink<Char> &sink, const Conversion &c, va_list *args)
{
    if (TakesOtherWidth(c, sizeof(Char) != 1)) {
        PutOtherString(sink, c, args);
        return;
    }
    const Char *text = va_arg(*args, const Char *);
    static const Char null[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    PutText(sink, c, text != nullptr ? text : null);
}

template <typename Char>
void PutCharacter(Sink<Char> &sink, const Conversion &c, va_list *args)
{
    int value = va_arg(*args, int);
    Conversion whole = c;
    whole.precision = -1;
    if (TakesOtherWidth(c, sizeof(Char) != 1)) {
        PutOtherCharacter(sink, whole, value);
        return;
    }
    Char text = (Char)value;
    PutPadded(sink, whole, &text, 1);
}

template <typename Char>
void FormatInto(Sink<Char> &sink, const Char *format, va_list args)
{
    va_list walk;
    va_copy(walk, args);
    const Char *p = format;
    while (*p != 0) {
        const Char *start = p;
        while (*p != 0 && *p != '%')
            ++p;
        if (p > start)
            sink.Put(start, (size_t)(p - start));
        if (*p == 0)
            break;
        ++p;
        const Char *conversion = p;
        Conversion c;
        if (!ParseConversion(&p, &walk, &c)) {
            // A format that ends inside a conversion, or an unknown character: printed as written.
            sink.Put(conversion - 1, 1);
            continue;
        }
        switch (c.type) {
        case '%':
            sink.Put(p - 1, 1);
            break;
        case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
            PutInteger(sink, c, &walk);
            break;
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': {
            char text[40];
            Conversion plain = c;
            if (IsLength(plain, "L"))
                plain.length[0] = '\0';   // msvcrt's long double is double
            BuildConversionText(plain, text, sizeof(text));
            PutThroughMsvcrt(sink, text, va_arg(walk, double));
            break;
        }
        case 'p': {
            char text[40];
            Conversion plain = c;
            plain.length[0] = '\0';
            BuildConversionText(plain, text, sizeof(text));
            PutThroughMsvcrt(sink, text, va_arg(walk, void *));
            break;
        }
        case 's': case 'S':
            PutString(sink, c, &walk);
            break;
        case 'c': case 'C':
            PutCharacter(sink, c, &walk);
            break;
        case 'n':
            (void)va_arg(walk, int *);   // never written through: the count is no one's business
            break;
        default:
            sink.Put(conversion - 1, (size_t)(p - conversion + 1));
            break;
        }
    }
    va_end(walk);
}

} // namespace

int FormatTextV(char *buffer, size_t size, const char *format, va_list args)
{
    if (buffer == nullptr || size == 0)
        return -1;
    Sink<char> sink = {buffer, size, 0};
    FormatInto(sink, format, args);
    sink.Terminate();
    return sink.length >= size ? -1 : (int)sink.length;
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
    Sink<wchar_t> sink = {buffer, size, 0};
    FormatInto(sink, format, args);
    va_end(args);
    sink.Terminate();
    return sink.length >= size ? -1 : (int)sink.length;
}

int WriteTextV(FILE *stream, const char *format, va_list args)
{
    if (stream == nullptr)
        return -1;
    char small[2048];
    Sink<char> sink = {small, sizeof(small), 0};
    FormatInto(sink, format, args);
    char *text = small;
    size_t length = sink.length;
    if (length >= sizeof(small)) {
        // Formatted again into a buffer of the size the line needs, so it is written whole.
        char *large = static_cast<char *>(malloc(length + 1));
        if (large != nullptr) {
            Sink<char> whole = {large, length + 1, 0};
            FormatInto(whole, format, args);
            text = large;
        } else {
            length = sizeof(small) - 1;
        }
    }
    size_t written = fwrite(text, 1, length, stream);
    if (text != small)
        free(text);
    return written == length ? (int)length : -1;
}

int WriteText(FILE *stream, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int written = WriteTextV(stream, format, args);
    va_end(args);
    return written;
}
