#include "MimeEncoders.h"

#include <stdlib.h>
#include <string.h>

#include <string>

#include "MsvcrtFormat.h"

namespace {

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const int kGroupsPerLine = 17;

bool StaysLiteral(unsigned char c)
{
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c <= 0x3C) || (c >= 0x3E && c <= 0x7E);
}

void ReplaceEvery(std::string &text, const char *search, const char *replacement)
{
    size_t searchLength = strlen(search);
    size_t replacementLength = strlen(replacement);
    size_t at = 0;
    while ((at = text.find(search, at)) != std::string::npos) {
        text.replace(at, searchLength, replacement);
        at += replacementLength;
    }
}

// Cuts the escaped text into lines: a window of 74 characters never splits an escape or
// a CRLF, and every cut is a soft break "=" CRLF.
void BreakLines(const char *p, size_t remaining, std::string &out)
{
    while (remaining > 74) {
        if (p[74] == '\n') {
            out.append(p, 73).append("\r\n");
            p += 75;
            remaining -= 75;
        } else if (p[73] == '=') {
            out.append(p, 73).append("=\r\n");
            out.append(p + 73, 3).append("=\r\n");
            p += 76;
            remaining -= remaining >= 76 ? 76 : remaining;
        } else if (p[72] == '=') {
            out.append(p, 72).append("=\r\n");
            out.append(p + 72, 3).append("=\r\n");
            p += 75;
            remaining -= 75;
        } else {
            out.append(p, 74).append("=\r\n");
            p += 74;
            remaining -= 74;
        }
    }
    out.append(p, remaining);
}

} // namespace

int EncodeBase64(const unsigned char *input, char *output, size_t count)
{
    char *out = output;
    int groups = 0;
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        unsigned value = (unsigned)input[i] << 16 | (unsigned)input[i + 1] << 8 | input[i + 2];
        *out++ = kBase64Alphabet[value >> 18 & 63];
        *out++ = kBase64Alphabet[value >> 12 & 63];
        *out++ = kBase64Alphabet[value >> 6 & 63];
        *out++ = kBase64Alphabet[value & 63];
        if (++groups == kGroupsPerLine) {
            *out++ = '\r';
            *out++ = '\n';
            groups = 0;
        }
    }
    size_t left = count - i;
    if (left > 0) {
        unsigned value = (unsigned)input[i] << 16 | (left == 2 ? (unsigned)input[i + 1] << 8 : 0);
        *out++ = kBase64Alphabet[value >> 18 & 63];
        *out++ = kBase64Alphabet[value >> 12 & 63];
        *out++ = left == 2 ? kBase64Alphabet[value >> 6 & 63] : '=';
        *out++ = '=';
        ++groups;
    }
    if (groups != 0) {
        *out++ = '\r';
        *out++ = '\n';
    }
    *out = '\0';
    return (int)(out - output);
}

void EscapeQuotedPrintable(char *text)
{
    size_t length = strlen(text);
    size_t escaped = 0;
    for (size_t i = 0; i < length; ++i)
        if (!StaysLiteral((unsigned char)text[i]))
            ++escaped;
    if (escaped == 0)
        return;
    // Back to front, so every byte is read before its place is written.
    char *from = text + length;
    char *to = text + length + 2 * escaped;
    *to = '\0';
    while (from > text) {
        unsigned char c = (unsigned char)*--from;
        if (StaysLiteral(c)) {
            *--to = (char)c;
        } else {
            char hex[3];
            FormatText(hex, sizeof(hex), "%02X", c);
            *--to = hex[1];
            *--to = hex[0];
            *--to = '=';
        }
    }
}

int EncodeQuotedPrintable(char *buffer)
{
    size_t length = strlen(buffer);
    size_t escapedLength = length;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)buffer[i];
        if (!StaysLiteral(c) || (c == '\r' && buffer[i + 1] != '\n'))
            escapedLength += 2;
    }
    if (escapedLength >= kQuotedPrintableBufferSize)
        return 0;
    EscapeQuotedPrintable(buffer);
    std::string text(buffer);
    for (size_t at = 0; (at = text.find('\r', at)) != std::string::npos; ++at)
        if (at + 1 >= text.size() || text[at + 1] != '\n')
            text.replace(at, 1, "=0D");
    char *work = static_cast<char *>(malloc(text.size() + 10));
    if (work == nullptr)
        return 0;
    memcpy(work, text.c_str(), text.size() + 1);
    std::string out;
    BreakLines(work, text.size(), out);
    free(work);
    ReplaceEvery(out, " \r\n", " =\r\n\r\n");
    ReplaceEvery(out, "\t\r\n", "\t=\r\n\r\n");
    ReplaceEvery(out, "\r\n.\r\n", "\r\n=2E\r\n");
    if (out.size() >= kQuotedPrintableBufferSize)
        return 0;
    memcpy(buffer, out.c_str(), out.size() + 1);
    return 1;
}
