#include "SmtpMessage.h"

#include <string.h>

#include <utility>

#include "MsvcrtFormat.h"

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Trim(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A header value on one line: a CR or LF in a field must not start a header of its own.
std::string OneLine(const char *text)
{
    std::string out;
    for (const char *p = text; *p != '\0'; ++p)
        out += (*p == '\r' || *p == '\n') ? ' ' : *p;
    return out;
}

// 8-bit text in a header goes as an encoded word.
std::string EncodeHeaderWord(const std::string &text)
{
    bool plain = true;
    for (unsigned char c : text)
        if (c >= 0x80)
            plain = false;
    if (plain)
        return text;
    std::string out = "=?iso-8859-1?B?";
    size_t i = 0;
    for (; i + 3 <= text.size(); i += 3) {
        unsigned v = (unsigned char)text[i] << 16 | (unsigned char)text[i + 1] << 8 | (unsigned char)text[i + 2];
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += kBase64[v >> 6 & 63];
        out += kBase64[v & 63];
    }
    if (i < text.size()) {
        bool two = i + 1 < text.size();
        unsigned v = (unsigned char)text[i] << 16 | (two ? (unsigned char)text[i + 1] << 8 : 0);
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += two ? kBase64[v >> 6 & 63] : '=';
        out += '=';
    }
    return out + "?=";
}

} // namespace

std::string ExtractAddress(const std::string &text)
{
    size_t open = text.find('<');
    if (open != std::string::npos) {
        size_t close = text.find('>', open);
        if (close != std::string::npos)
            return Trim(text.substr(open + 1, close - open - 1));
    }
    return Trim(text);
}

std::vector<std::string> SplitRecipients(const char *to)
{
    std::vector<std::string> recipients;
    std::string piece;
    for (const char *p = to;; ++p) {
        if (*p == ',' || *p == ';' || *p == '\0') {
            std::string address = ExtractAddress(piece);
            if (!address.empty())
                recipients.push_back(address);
            piece.clear();
            if (*p == '\0')
                break;
        } else {
            piece += *p;
        }
    }
    return recipients;
}

std::string BuildServerUrl(const char *server, int32_t port, int32_t security)
{
    if (port <= 0 || port > 65535)
        port = security == SmtpSecuritySsl ? 465 : security == SmtpSecurityTls ? 587 : 25;
    std::string host = Trim(server);
    // An IPv6 literal needs its brackets in a URL.
    if (host.find(':') != std::string::npos && host[0] != '[')
        host = "[" + host + "]";
    char url[400];
    FormatText(url, sizeof(url), "%s://%s:%d/", security == SmtpSecuritySsl ? "smtps" : "smtp", host.c_str(),
               (int)port);
    return url;
}

size_t MeasureBody(const SendMailRequest *request)
{
    if (request->body == nullptr)
        return 0;
    if (request->bodyLength <= 0)
        return strlen(request->body);
    return strnlen(request->body, (size_t)request->bodyLength);
}

std::string FormatMailDate(const SYSTEMTIME &utc)
{
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    FormatText(text, sizeof(text), "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.wDayOfWeek % 7], utc.wDay,
               months[(utc.wMonth + 11) % 12], utc.wYear, utc.wHour, utc.wMinute, utc.wSecond);
    return text;
}

std::string BuildMessageHeader(const SendMailRequest *request, const std::string &date)
{
    std::string text = "Date: " + date + "\r\n";
    text += "From: " + OneLine(request->from) + "\r\n";
    text += "To: " + OneLine(request->to) + "\r\n";
    text += "Subject: " + EncodeHeaderWord(OneLine(request->subject)) + "\r\n";
    if (request->programName[0] != '\0')
        text += "X-Mailer: " + OneLine(request->programName) + "\r\n";
    text += "MIME-Version: 1.0\r\n";
    std::string extra(request->extraHeaders, strnlen(request->extraHeaders, sizeof(request->extraHeaders)));
    if (!extra.empty()) {
        text += extra;
        if (extra.size() < 2 || extra.compare(extra.size() - 2, 2, "\r\n") != 0)
            text += "\r\n";
    }
    text += "\r\n";
    return text;
}

namespace {

// Whether a stuffed dot stands at position i: a line begins there with "..".
bool IsStuffedDot(const char *body, size_t length, size_t i)
{
    return (i == 0 || body[i - 1] == '\n') && body[i] == '.' && i + 1 < length && body[i + 1] == '.';
}

} // namespace

MessageReader::MessageReader(std::string header, const char *body, size_t bodyLength)
    : header_(std::move(header)), body_(body), bodyLength_(bodyLength), size_(header_.size() + bodyLength)
{
    for (size_t i = 0; i < bodyLength_;) {
        if (IsStuffedDot(body_, bodyLength_, i))
            --size_;
        const void *lineEnd = memchr(body_ + i, '\n', bodyLength_ - i);
        i = lineEnd != nullptr ? (size_t)(static_cast<const char *>(lineEnd) - body_) + 1 : bodyLength_;
    }
}

size_t MessageReader::Read(char *buffer, size_t room)
{
    size_t given = 0;
    size_t fromHeader = header_.size() - headerRead_ < room ? header_.size() - headerRead_ : room;
    memcpy(buffer, header_.data() + headerRead_, fromHeader);
    headerRead_ += fromHeader;
    given += fromHeader;
    // The body a piece at a time, each up to the next line's start, where a stuffed dot may stand.
    while (given < room && bodyRead_ < bodyLength_) {
        if (IsStuffedDot(body_, bodyLength_, bodyRead_))
            ++bodyRead_;
        size_t piece = bodyLength_ - bodyRead_ < room - given ? bodyLength_ - bodyRead_ : room - given;
        const void *lineEnd = memchr(body_ + bodyRead_, '\n', piece);
        if (lineEnd != nullptr)
            piece = (size_t)(static_cast<const char *>(lineEnd) - (body_ + bodyRead_)) + 1;
        memcpy(buffer + given, body_ + bodyRead_, piece);
        bodyRead_ += piece;
        given += piece;
    }
    return given;
}
