// The argument block of the SMTP library's send_mail, shared by the mail senders and tarnmail.
// Zeroed before every attempt; texts are NUL-terminated ANSI; pointers of the 32-bit process.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#pragma pack(push, 1)
struct SendMailRequest {
    char unused[256];               // always empty
    char programName[128];          // "Velloran"
    char server[256];
    int32_t port;                   // -1: the library's default port
    char user[256];                 // empty without authentication
    char password[256];             // plain copy; empty without authentication
    char from[256];
    char to[256];                   // comma-separated, as typed
    char subject[256];
    const char *body;               // NUL-terminated message
    int32_t bodyLength;             // length + 1
    int32_t verbose;
    char logPath[260];
    char errorText[512];            // out: why sending failed
    uintptr_t *socketSlot;          // the library stores its socket here
    int32_t receiveTimeout;         // seconds
    int32_t sendTimeout;            // seconds
    int32_t reserved1;              // 0
    char extraHeaders[256];         // CRLF-terminated lines
    int32_t security;               // SmtpSecurity
    int32_t reserved2;              // 0
    int32_t reserved3;              // 100
    volatile int32_t *percent;      // advanced by the library
};
#pragma pack(pop)

enum SmtpSecurity : int32_t { SmtpSecurityNone = 0, SmtpSecuritySsl = 1, SmtpSecurityTls = 2 };

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(SendMailRequest, programName) == 256, "layout");
static_assert(offsetof(SendMailRequest, server) == 384, "layout");
static_assert(offsetof(SendMailRequest, port) == 640, "layout");
static_assert(offsetof(SendMailRequest, user) == 644, "layout");
static_assert(offsetof(SendMailRequest, password) == 900, "layout");
static_assert(offsetof(SendMailRequest, from) == 1156, "layout");
static_assert(offsetof(SendMailRequest, to) == 1412, "layout");
static_assert(offsetof(SendMailRequest, subject) == 1668, "layout");
static_assert(offsetof(SendMailRequest, body) == 1924, "layout");
static_assert(offsetof(SendMailRequest, bodyLength) == 1928, "layout");
static_assert(offsetof(SendMailRequest, verbose) == 1932, "layout");
static_assert(offsetof(SendMailRequest, logPath) == 1936, "layout");
static_assert(offsetof(SendMailRequest, errorText) == 2196, "layout");
static_assert(offsetof(SendMailRequest, socketSlot) == 2708, "layout");
static_assert(offsetof(SendMailRequest, receiveTimeout) == 2712, "layout");
static_assert(offsetof(SendMailRequest, sendTimeout) == 2716, "layout");
static_assert(offsetof(SendMailRequest, reserved1) == 2720, "layout");
static_assert(offsetof(SendMailRequest, extraHeaders) == 2724, "layout");
static_assert(offsetof(SendMailRequest, security) == 2980, "layout");
static_assert(offsetof(SendMailRequest, reserved2) == 2984, "layout");
static_assert(offsetof(SendMailRequest, reserved3) == 2988, "layout");
static_assert(offsetof(SendMailRequest, percent) == 2992, "layout");
static_assert(sizeof(SendMailRequest) == 2996, "layout");
#endif

typedef int32_t(__stdcall *SendMailProc)(SendMailRequest *request);

// A text field of the block that goes into an SMTP command or a header line.
struct MailTextField {
    const char *name;   // as a message names it, e.g. "To address"
    const char *text;
    size_t size;
};

// The first such field that holds a CR or LF, or has no NUL within its size; false when there is
// none. A line break would end a command there and start one of the sender's choosing; a field
// without its terminator would run on into the next one.
inline bool FindUnsafeMailField(const SendMailRequest *request, MailTextField *unsafe)
{
    const MailTextField fields[] = {
        {"program name", request->programName, sizeof(request->programName)},
        {"server", request->server, sizeof(request->server)},
        {"user name", request->user, sizeof(request->user)},
        {"From address", request->from, sizeof(request->from)},
        {"To address", request->to, sizeof(request->to)},
        {"subject", request->subject, sizeof(request->subject)},
    };
    for (const MailTextField &field : fields) {
        const char *end = static_cast<const char *>(memchr(field.text, '\0', field.size));
        if (end == nullptr || memchr(field.text, '\r', (size_t)(end - field.text)) != nullptr ||
            memchr(field.text, '\n', (size_t)(end - field.text)) != nullptr) {
            *unsafe = field;
            return true;
        }
    }
    return false;
}
