#include "BridgeRequestFile.h"

#include <windows.h>
#include <stdio.h>

#include "CheckedFile.h"
#include "MsvcrtFormat.h"
#include "RequestFields.h"

namespace {

// The block's text in the ANSI code page; characters it cannot represent are lost.
void ConvertToAnsi(const wchar_t *text, size_t units, char *out, int size)
{
    wchar_t bounded[261];
    size_t n = 0;
    while (n < units && n < 260 && text[n] != L'\0') {
        bounded[n] = text[n];
        n++;
    }
    bounded[n] = L'\0';
    if (WideCharToMultiByte(CP_ACP, 0, bounded, -1, out, size, nullptr, nullptr) == 0)
        out[0] = '\0';
    out[size - 1] = '\0';
}

}  // namespace

bool WriteBridgeRequestFile(const BridgePaths &paths, const ShadowCopyRequest &request, FileCheck *check)
{
    char targets[260], sources[260], logPath[260];
    ConvertToAnsi(request.targetLetters, 65, targets, sizeof targets);
    ConvertToAnsi(request.sourceLetters, 65, sources, sizeof sources);
    ConvertToAnsi(request.logPath, 260, logPath, sizeof logPath);

    FILE *file = OpenCheckedStream(paths.request, "w", FILE_SHARE_READ | FILE_SHARE_WRITE, check);
    if (file == nullptr)
        return false;
    ShadowCopyRequest &shared = const_cast<ShadowCopyRequest &>(request);
    int written = WriteText(file, "%s\n%s\n%s\n%s\n%s\n%s\n%s\n%d\n%d\n%d\n%d\n",
                            paths.hostLog, paths.request, paths.reply, paths.release,
                            targets, sources, logPath, (int)request.verbose,
                            (int)LoadField(&shared.releaseRequest), (int)LoadField(&shared.status),
                            (int)LoadField(&shared.active));
    bool closed = fclose(file) == 0;
    return written > 0 && closed;
}
