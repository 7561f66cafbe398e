#include "MimeMessage.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "MimeEncoders.h"
#include "MsvcrtFormat.h"

const char *const kMimeBoundary = "unique-boundary=_-velloran1";

namespace {

const char kCharset[] = "iso-8859-1";
const DWORD kChunkBytes = 65535; // 1285 Base64 lines of 51 bytes

// A heap text that grows to exactly what it holds.
struct Body {
    char *text = nullptr;
    size_t length = 0;
    size_t capacity = 0; // bytes allocated, NUL included
};

bool Reserve(Body &body, size_t capacity)
{
    char *grown = static_cast<char *>(ReallocateBlock(body.text, capacity));
    if (grown == nullptr)
        return false;
    body.text = grown;
    body.capacity = capacity;
    return true;
}

bool Append(Body &body, const char *text, size_t length)
{
    if (body.length + length + 1 > body.capacity && !Reserve(body, body.length + length + 1))
        return false;
    memcpy(body.text + body.length, text, length);
    body.length += length;
    body.text[body.length] = '\0';
    return true;
}

bool AppendText(Body &body, const char *text)
{
    return Append(body, text, strlen(text));
}

bool AppendFormatted(Body &body, const char *format, const char *a, const char *b = "", const char *c = "")
{
    char part[1024];
    return FormatText(part, sizeof(part), format, a, b, c) >= 0 && AppendText(body, part);
}

// The text part: CRLF line ends, then quoted-printable.
bool AppendTextPart(Body &body, const char *text)
{
    char *work = static_cast<char *>(malloc(kQuotedPrintableBufferSize));
    if (work == nullptr)
        return false;
    size_t used = 0;
    for (const char *p = text; *p != '\0' && used + 2 < kQuotedPrintableBufferSize; ++p) {
        if (*p == '\n' && (p == text || p[-1] != '\r'))
            work[used++] = '\r';
        work[used++] = *p;
    }
    work[used] = '\0';
    bool appended = EncodeQuotedPrintable(work) && AppendText(body, work);
    free(work);
    return appended;
}

// Fills the chunk as far as the file allows; a read error ends the file.
DWORD ReadChunk(HANDLE file, unsigned char *chunk, DWORD wanted)
{
    DWORD total = 0;
    while (total < wanted) {
        DWORD read = 0;
        if (!ReadFile(file, chunk + total, wanted - total, &read, nullptr) || read == 0)
            break;
        total += read;
    }
    return total;
}

MimeBuildResult AppendAttachment(Body &body, HANDLE file, DWORD size, const volatile uint8_t *cancel,
                                 int32_t *percent)
{
    unsigned char *chunk = static_cast<unsigned char *>(malloc(kChunkBytes + 1));
    if (chunk == nullptr)
        return MimeOutOfMemory;
    DWORD total = 0;
    // Only the size measured is encoded: the body was sized for it.
    while (total < size) {
        DWORD wanted = size - total < kChunkBytes ? size - total : kChunkBytes;
        DWORD read = ReadChunk(file, chunk, wanted);
        if (read == 0)
            break;
        if (__atomic_load_n(cancel, __ATOMIC_ACQUIRE) != 0) {
            free(chunk);
            return MimeCancelled;
        }
        body.length += EncodeBase64(chunk, body.text + body.length, read);
        total += read;
        __atomic_store_n(percent, (int32_t)((unsigned long long)total * 100 / size), __ATOMIC_RELAXED);
        // A short read is a read error or a shrunken file: a later chunk would no longer
        // begin on a line of its own.
        if (read < wanted)
            break;
    }
    free(chunk);
    return MimeOk;
}

MimeBuildResult BuildBody(Body &body, char *extraHeaders, const char *text, const char *attachmentPath,
                          const volatile uint8_t *cancel, int32_t *percent)
{
    if (!Reserve(body, 1))
        return MimeOutOfMemory;
    body.text[0] = '\0';
    FormatText(extraHeaders, 256, "Content-Type: multipart/mixed;\r\n\tboundary=\"%s\"\r\n", kMimeBoundary);
    if (!AppendText(body, "This is a multi-part message in MIME format.\r\n") ||
        !AppendFormatted(body, "\r\n--%s\r\nContent-Type: text/plain;\r\n\tcharset=\"%s\"\r\n", kMimeBoundary,
                         kCharset) ||
        !AppendText(body, "Content-Transfer-Encoding: quoted-printable\r\n\r\n") || !AppendTextPart(body, text))
        return MimeOutOfMemory;
    const char *slash = strrchr(attachmentPath, '\\');
    if (slash == nullptr)
        return MimeNoBackslash;
    const char *name = slash + 1;
    if (!AppendFormatted(body,
                         "\r\n--%s\r\nContent-Type: application/octet-stream; name=\"%s\"\r\n"
                         "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"%s\"\r\n\r\n",
                         kMimeBoundary, name, name))
        return MimeOutOfMemory;
    // Only the text part and the header lines can hold a line that begins with a dot: Base64 and
    // the closing boundary never do. Stuffed here, before the file, a large body needs no second
    // pass and no second block of its size.
    char *stuffed = DotStuff(body.text, &body.length);
    if (stuffed != body.text)
        body.capacity = body.length + 1;
    body.text = stuffed;
    if (body.text == nullptr)
        return MimeOutOfMemory;
    HANDLE file = CreateFileA(attachmentPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return MimeOpenFailed;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    MimeBuildResult result = MimeOk;
    // A file of 4 GiB or more does not fit the 32-bit size the body is sized by.
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0)
        result = MimeSizeFailed;
    unsigned long long needed = (unsigned long long)body.length + (unsigned long long)(size / 51) * 70 + 71;
    if (result == MimeOk && (needed > (size_t)-1 / 2 || !Reserve(body, (size_t)needed)))
        result = MimeOutOfMemory;
    if (result == MimeOk)
        result = AppendAttachment(body, file, size, cancel, percent);
    CloseHandle(file);
    if (result != MimeOk)
        return result;
    return AppendFormatted(body, "\r\n--%s--\r\n", kMimeBoundary) ? MimeOk : MimeOutOfMemory;
}

} // namespace

char *DotStuff(char *text, size_t *length)
{
    size_t dots = text[0] == '.' ? 1 : 0;
    for (const char *p = text; (p = strstr(p, "\r\n.")) != nullptr; p += 3)
        ++dots;
    if (dots == 0)
        return text;
    char *stuffed = static_cast<char *>(AllocateBlock(*length + dots + 1));
    if (stuffed == nullptr) {
        free(text);
        return nullptr;
    }
    char *out = stuffed;
    for (size_t i = 0; i < *length; ++i) {
        if (text[i] == '.' && (i == 0 || (i >= 2 && text[i - 1] == '\n' && text[i - 2] == '\r')))
            *out++ = '.';
        *out++ = text[i];
    }
    *out = '\0';
    *length = (size_t)(out - stuffed);
    free(text);
    return stuffed;
}

MimeBuildResult BuildMimeMessage(char *extraHeaders, char **body, const char *text, const char *attachmentPath,
                                 const volatile uint8_t *cancel, int32_t *percent, int32_t *length)
{
    Body built;
    MimeBuildResult result = BuildBody(built, extraHeaders, text, attachmentPath, cancel, percent);
    if (result != MimeOk) {
        free(built.text);
        *body = nullptr;
        return result;
    }
    *body = built.text;
    *length = (int32_t)(built.length + 1);
    return MimeOk;
}
