#include "CurlTrace.h"

#include <windows.h>
#include <string.h>

#include <string>

namespace {

void WipeText(std::string *text)
{
    if (!text->empty())
        SecureZeroMemory(&(*text)[0], text->size());
}

}  // namespace

int WriteCurlTrace(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    CurlTrace *trace = static_cast<CurlTrace *>(user);
    const char *prefix = type == CURLINFO_TEXT         ? "* "
                         : type == CURLINFO_HEADER_IN  ? "< "
                         : type == CURLINFO_HEADER_OUT ? "> "
                                                       : nullptr;
    if (trace == nullptr || prefix == nullptr)
        return 0;  // transferred data and TLS records are not part of the trace
    static const char kLoggedIn[] = "Authentication complete";
    if (type == CURLINFO_TEXT && size >= sizeof(kLoggedIn) - 1 && memcmp(data, kLoggedIn, sizeof(kLoggedIn) - 1) == 0)
        trace->sshLoginAccepted = true;
    if (trace->log == nullptr)
        return 0;
    fputs(prefix, trace->log);
    if (type == CURLINFO_TEXT) {
        fwrite(data, 1, size, trace->log);
        return 0;
    }
    // A block may hold several lines (header blocks); each is masked on its own, and the
    // copies of what was sent are wiped, since a login line is among them.
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && data[end] != '\n')
            ++end;
        end = end < size ? end + 1 : size;
        std::string line(data + start, end - start);
        std::string masked = trace->credentials.Mask(type == CURLINFO_HEADER_IN, line);
        fwrite(masked.data(), 1, masked.size(), trace->log);
        WipeText(&line);
        start = end;
    }
    return 0;
}
