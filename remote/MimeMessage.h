// The two-part e-mail that carries one file: the message text in quoted-printable and the
// file in Base64, dot-stuffed for the SMTP library.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum MimeBuildResult : int {
    MimeOk = 0,
    MimeOutOfMemory = 1,
    MimeSizeFailed = 2,
    MimeOpenFailed = 4,
    MimeNoBackslash = 5,
    MimeCancelled = 6,
};

extern const char *const kMimeBoundary;

// Builds the message into a heap body (the caller frees it; NULL after a failure) and its
// Content-Type header line into extraHeaders (256 bytes). text is at most 2047 characters,
// lines separated by CRLF or LF. *percent follows the encoding of the file; *length receives
// the body's length + 1. The cancel byte is polled once per chunk of the file.
MimeBuildResult BuildMimeMessage(char *extraHeaders, char **body, const char *text, const char *attachmentPath,
                                 const volatile uint8_t *cancel, int32_t *percent, int32_t *length);
// Doubles the dot that begins the text or any line of it. Returns the new heap text (the old
// one is freed) or NULL when it cannot grow (the old one is then freed too).
char *DotStuff(char *text, size_t *length);
