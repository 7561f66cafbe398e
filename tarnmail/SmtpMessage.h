// The pieces of one SMTP submission taken from a request block: the envelope addresses, the
// server's URL and the message as it goes on the wire before libcurl's own dot-stuffing.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "SendMailRequest.h"

// The bare address of "a@b" or "Name <a@b>", blanks trimmed; empty when there is none.
std::string ExtractAddress(const std::string &text);
// The addresses of a comma- or semicolon-separated list, empty entries left out.
std::vector<std::string> SplitRecipients(const char *to);
// The URL of the server for the security and port; -1 takes the usual port of the security
// (25 plain, 465 SSL, 587 STARTTLS).
std::string BuildServerUrl(const char *server, int32_t port, int32_t security);
// The body text of a request: up to its NUL, never beyond bodyLength.
size_t MeasureBody(const SendMailRequest *request);
// The header lines and the empty line after them. date is the header's date text.
std::string BuildMessageHeader(const SendMailRequest *request, const std::string &date);

// The message as libcurl reads it: the header, then the caller's body with the SMTP dot-stuffing
// undone (a line beginning with ".." loses its first dot; libcurl stuffs it again). The body is
// read where the caller keeps it, never copied: a message of hundreds of megabytes must not need
// a second block of its size.
class MessageReader {
public:
    MessageReader(std::string header, const char *body, size_t bodyLength);
    // The bytes the whole message takes.
    size_t Size() const { return size_; }
    // Copies the next bytes into buffer, at most room; 0 at the end.
    size_t Read(char *buffer, size_t room);

private:
    std::string header_;
    const char *body_;
    size_t bodyLength_;
    size_t size_;
    size_t headerRead_ = 0;
    size_t bodyRead_ = 0;
};
// An RFC 5322 date of a UTC time.
std::string FormatMailDate(const SYSTEMTIME &utc);
