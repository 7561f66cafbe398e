// The library's own log, one block per send: what was sent where and how it ended, and with
// verbose logging the SMTP dialogue with the credentials left out.
#pragma once
#include <stdio.h>

#include <string>

#include "CredentialMask.h"

class SmtpLog {
public:
    SmtpLog(const char *path, bool verbose);
    ~SmtpLog();
    SmtpLog(const SmtpLog &) = delete;
    SmtpLog &operator=(const SmtpLog &) = delete;
    void Line(const char *format, ...);
    // A line of the dialogue: what the server said (fromServer) or what we sent.
    void Dialogue(bool fromServer, const char *data, size_t size);
    // libcurl's own remarks.
    void Remark(const char *data, size_t size);
    const std::string &LastReply() const { return lastReply; }

private:
    FILE *file = nullptr;
    bool verbose;
    CredentialMask credentials;
    std::string lastReply;
};
