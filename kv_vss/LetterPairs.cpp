#include "LetterPairs.h"

#include <windows.h>

#include "LogStream.h"
#include "RequestFields.h"

namespace {

bool IsDriveLetter(wchar_t c)
{
    return c >= L'A' && c <= L'Z';
}

size_t BoundedLength(const wchar_t *text, size_t units)
{
    size_t n = 0;
    while (n < units && text[n] != L'\0')
        n++;
    return n;
}

}  // namespace

bool ReadLetterPairs(FILE *log, const ShadowCopyRequest &request, LetterPairs *pairs)
{
    size_t sources = BoundedLength(request.sourceLetters, 65);
    size_t targets = BoundedLength(request.targetLetters, 65);
    if (sources == 0 || sources != targets || sources > 26) {
        WriteLogLine(log, "ERROR: Invalid request: %u source and %u target letters\n",
                     (unsigned)sources, (unsigned)targets);
        return false;
    }
    pairs->count = (int)sources;
    for (size_t i = 0; i < sources; i++) {
        wchar_t s = request.sourceLetters[i];
        wchar_t t = request.targetLetters[i];
        if (!IsDriveLetter(s) || !IsDriveLetter(t) || s == t) {
            WriteLogLine(log, "ERROR: Invalid request: letter pair %u is not two different drive letters\n",
                         (unsigned)(i + 1));
            return false;
        }
        pairs->source[i] = s;
        pairs->target[i] = t;
    }
    return true;
}

void FormatDeviceName(wchar_t letter, wchar_t device[3])
{
    device[0] = letter;
    device[1] = L':';
    device[2] = L'\0';
}

bool IsLetterInUse(wchar_t letter)
{
    wchar_t device[3];
    FormatDeviceName(letter, device);
    wchar_t target[512];
    return QueryDosDeviceW(device, target, 512) != 0;
}

void WaitForReleaseRequest(ShadowCopyRequest *request)
{
    // The caller holds the shadow copies for as long as its backup runs: no limit.
    while (LoadField(&request->releaseRequest) == 0)
        Sleep(25);
}
