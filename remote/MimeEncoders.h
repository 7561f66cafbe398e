// Base64 and quoted-printable encoding of e-mail parts, in the shapes the MIME builder needs.
#pragma once
#include <stddef.h>

// Size of the quoted-printable work buffer.
const size_t kQuotedPrintableBufferSize = 16384;

// Base64 of count bytes in lines of 68 characters, each ended by CRLF (the last one too).
// NUL-terminates output, which needs (count / 51) * 70 + 71 bytes; returns the characters
// written without the NUL.
int EncodeBase64(const unsigned char *input, char *output, size_t count);
// Replaces in place each byte that may not stand literally by "=XX"; the buffer must have room
// for two more characters per escaped byte.
void EscapeQuotedPrintable(char *text);
// Encodes the text in its kQuotedPrintableBufferSize-byte buffer in place, with soft breaks
// that keep lines at most 76 characters. 0 when the working copy cannot be allocated or the
// result would not fit the buffer (the buffer is then left as it was).
int EncodeQuotedPrintable(char *buffer);
