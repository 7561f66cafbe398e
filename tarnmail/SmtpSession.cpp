#include "SmtpSession.h"

#include <winsock2.h>
#include <string.h>

#include <curl/curl.h>

#include <exception>
#include <memory>
#include <new>

#include "MsvcrtFormat.h"
#include "SmtpLog.h"
#include "SmtpMessage.h"

namespace {

const long kDefaultTimeout = 30;

struct Upload {
    SendMailRequest *request;
    MessageReader *message;
    SmtpLog *log;
};

size_t ReadMessage(char *buffer, size_t size, size_t count, void *user)
{
    return static_cast<Upload *>(user)->message->Read(buffer, size * count);
}

int ReportProgress(void *user, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploaded)
{
    Upload *upload = static_cast<Upload *>(user);
    if (upload->request->percent != nullptr && uploadTotal > 0)
        __atomic_store_n(upload->request->percent, (int32_t)(uploaded * 100 / uploadTotal), __ATOMIC_RELAXED);
    return 0;
}

// The caller's slot holds the socket while it is open, so a stop can close it from outside.
curl_socket_t OpenSocket(void *user, curlsocktype, struct curl_sockaddr *address)
{
    Upload *upload = static_cast<Upload *>(user);
    SOCKET s = socket(address->family, address->socktype, address->protocol);
    if (s != INVALID_SOCKET && upload->request->socketSlot != nullptr)
        __atomic_store_n(upload->request->socketSlot, (uintptr_t)s, __ATOMIC_RELEASE);
    return s;
}

// Whoever takes the socket out of the slot closes it: here, or a stop of the caller's job
// that took it first (the slot then holds -1) and closes it itself.
int CloseSocket(void *user, curl_socket_t s)
{
    Upload *upload = static_cast<Upload *>(user);
    uintptr_t *slot = upload->request->socketSlot;
    uintptr_t held = (uintptr_t)s;
    if (slot != nullptr &&
        !__atomic_compare_exchange_n(slot, &held, (uintptr_t)-1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE) &&
        held == (uintptr_t)-1)
        return 0;
    return closesocket(s);
}

int OnDebug(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    SmtpLog *log = static_cast<Upload *>(user)->log;
    // No exception may pass through libcurl's frames: a line that cannot be made is left out.
    try {
        if (type == CURLINFO_HEADER_IN)
            log->Dialogue(true, data, size);
        else if (type == CURLINFO_HEADER_OUT)
            log->Dialogue(false, data, size);
        else if (type == CURLINFO_TEXT)
            log->Remark(data, size);
    } catch (const std::exception &) {
    }
    return 0;
}

long TimeoutOf(int32_t seconds)
{
    return seconds > 0 ? seconds : kDefaultTimeout;
}

int32_t CodeOfResult(CURLcode result, long reply)
{
    switch (result) {
    case CURLE_OK:
        return SendMailSent;
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return SendMailLoginDenied;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return SendMailBadRequest;
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FAILED_INIT:
        return SendMailCannotStart;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return SendMailCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return SendMailTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        // An untrusted server stays untrusted.
        return SendMailRefused;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
        return SendMailSecureFailed;
    default:
        // A permanent refusal of the sender, a recipient or the message.
        return reply >= 500 && reply < 600 ? SendMailRefused : SendMailTransferFailed;
    }
}

void SetErrorText(SendMailRequest *request, CURLcode result, const char *detail, const std::string &reply)
{
    char text[sizeof(request->errorText)];
    FormatText(text, sizeof(text), "%s%s%s%s%s", curl_easy_strerror(result), detail[0] ? ": " : "", detail,
               reply.empty() ? "" : " (server: ", reply.empty() ? "" : (reply + ")").c_str());
    lstrcpynA(request->errorText, text, sizeof(request->errorText));
}

int32_t Perform(SendMailRequest *request, SmtpLog &log)
{
    MailTextField unsafe;
    if (FindUnsafeMailField(request, &unsafe)) {
        FormatText(request->errorText, sizeof(request->errorText),
                   "The %s holds a line break or NUL, which cannot go into an SMTP command.", unsafe.name);
        return SendMailBadRequest;
    }
    std::vector<std::string> recipients = SplitRecipients(request->to);
    std::string from = ExtractAddress(request->from);
    if (request->server[0] == '\0' || from.empty() || recipients.empty() || request->body == nullptr) {
        lstrcpynA(request->errorText, "The server, the sender or the recipients are missing.",
                  sizeof(request->errorText));
        return SendMailBadRequest;
    }
    std::unique_ptr<CURL, void (*)(CURL *)> handle(curl_easy_init(), curl_easy_cleanup);
    CURL *curl = handle.get();
    if (curl == nullptr) {
        lstrcpynA(request->errorText, "The SMTP session could not be started.", sizeof(request->errorText));
        return SendMailCannotStart;
    }
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    MessageReader message(BuildMessageHeader(request, FormatMailDate(utc)), request->body, MeasureBody(request));
    Upload upload = {request, &message, &log};
    std::unique_ptr<curl_slist, void (*)(curl_slist *)> rcpt(nullptr, curl_slist_free_all);
    for (const std::string &address : recipients) {
        curl_slist *list = curl_slist_append(rcpt.get(), ("<" + address + ">").c_str());
        if (list == nullptr)
            throw std::bad_alloc();
        rcpt.release();
        rcpt.reset(list);
    }
    std::string url = BuildServerUrl(request->server, request->port, request->security);
    std::string mailFrom = "<" + from + ">";
    char detail[CURL_ERROR_SIZE] = "";
    log.Line("Sending \"%s\" (%u bytes) to %s through %s", request->subject, (unsigned)message.Size(), request->to,
             url.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadMessage);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, (curl_off_t)message.Size());
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, ReportProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &upload);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, TimeoutOf(request->sendTimeout));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, TimeoutOf(request->receiveTimeout));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, TimeoutOf(request->sendTimeout));
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, (long)CURLSSLOPT_NATIVE_CA);
    if (request->security == SmtpSecurityTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, (long)CURLUSESSL_ALL);
    if (request->user[0] != '\0') {
        curl_easy_setopt(curl, CURLOPT_USERNAME, request->user);
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request->password);
    }
    CURLcode result = curl_easy_perform(curl);
    long reply = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
    // The password is not needed beyond the dialogue.
    curl_easy_setopt(curl, CURLOPT_PASSWORD, "");
    int32_t code = CodeOfResult(result, reply);
    if (code == SendMailSent) {
        if (request->percent != nullptr)
            __atomic_store_n(request->percent, 100, __ATOMIC_RELAXED);
        log.Line("Sent.");
    } else {
        SetErrorText(request, result, detail, log.LastReply());
        log.Line("Failed with code %d: %s", (int)code, request->errorText);
    }
    return code;
}

} // namespace

int32_t SendRequestedMail(SendMailRequest *request)
{
    if (request == nullptr)
        return SendMailBadRequest;
    request->errorText[0] = '\0';
    SmtpLog log(request->logPath, request->verbose != 0);
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        lstrcpynA(request->errorText, "The SMTP session could not be started.", sizeof(request->errorText));
        log.Line("Failed with code %d: %s", (int)SendMailCannotStart, request->errorText);
        return SendMailCannotStart;
    }
    int32_t code;
    // Beside the caller's body the message needs little memory; when even that is not there,
    // the send fails, not the caller's process.
    try {
        code = Perform(request, log);
    } catch (const std::exception &) {
        lstrcpynA(request->errorText, "Not enough memory to send the message.", sizeof(request->errorText));
        log.Line("Failed with code %d: %s", (int)SendMailCannotStart, request->errorText);
        code = SendMailCannotStart;
    }
    curl_global_cleanup();
    return code;
}
