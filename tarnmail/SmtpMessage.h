// The pieces of one SMTP submission taken from a request block: the envelope addresses, the
// server's URL and the message text as it goes on the wire before libcurl's own dot-stuffing.
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
// Undoes the SMTP dot-stuffing of body: a line beginning with ".." loses its first dot.
std::string UnstuffBody(const char *body, size_t length);
// The body text of a request: up to its NUL, never beyond bodyLength.
size_t MeasureBody(const SendMailRequest *request);
// Header lines, the empty line and the body. date is the header's date text.
std::string BuildMessageText(const SendMailRequest *request, const std::string &date);
// An RFC 5322 date of a UTC time.
std::string FormatMailDate(const SYSTEMTIME &utc);
