#include "CredentialMask.h"

#include <string.h>

namespace {

const char kHidden[] = "(credentials not logged)";

// The line's first word, compared without regard to case, and the place of what follows it.
bool StartsWithWord(const std::string &line, const char *word, size_t *rest)
{
    size_t length = strlen(word);
    if (line.size() < length || _strnicmp(line.c_str(), word, length) != 0)
        return false;
    if (line.size() > length && line[length] != ' ' && line[length] != '\t' && line[length] != ':')
        return false;
    *rest = length;
    return true;
}

// The line up to its word and the separator after it, then the hidden mark.
std::string HideAfter(const std::string &line, size_t at)
{
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == ':'))
        ++at;
    if (at >= line.size())
        return line;
    size_t end = line.find_last_not_of("\r\n");
    std::string ending = end == std::string::npos ? line : line.substr(end + 1);
    return line.substr(0, at) + kHidden + ending;
}

}  // namespace

std::string CredentialMask::Mask(bool fromServer, const std::string &line)
{
    if (fromServer) {
        // 334 asks for the next piece of the login; any other reply ends it.
        answeringPrompt = line.compare(0, 3, "334") == 0;
        return line;
    }
    size_t rest = 0;
    for (const char *secret : {"PASS", "ACCT", "Authorization", "Proxy-Authorization"}) {
        if (StartsWithWord(line, secret, &rest))
            return HideAfter(line, rest);
    }
    if (StartsWithWord(line, "AUTH", &rest)) {
        // "AUTH PLAIN <data>" carries the login; "AUTH LOGIN" and FTP's "AUTH TLS" do not.
        size_t mechanism = line.find_first_not_of(' ', rest);
        size_t mechanismEnd = mechanism == std::string::npos ? std::string::npos : line.find(' ', mechanism);
        return mechanismEnd == std::string::npos ? line : HideAfter(line, mechanismEnd);
    }
    if (answeringPrompt) {
        size_t end = line.find_last_not_of("\r\n");
        return std::string(kHidden) + (end == std::string::npos ? line : line.substr(end + 1));
    }
    return line;
}
