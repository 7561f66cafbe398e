// Off-site copies over SFTP, FTPS with explicit TLS and FTPS with implicit TLS through
// libcurl's easy interface: the job's ZIP volumes one after the other (no resume, no retry),
// and the FTP page's test upload. libcurl's own trace goes to "FTPsLog.txt" in the data folder.
// FTPS checks certificates against the Windows certificate store (CertificateCheck.h tells
// which check refused one); SFTP checks the server's host key (SshHostKeys.h).
#pragma once
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include <curl/curl.h>

#include "CertificateCheck.h"
#include "CurlTrace.h"
#include "JobContext.h"
#include "SshHostKeys.h"

// 1 when every volume was sent (or there was nothing to send, or the job was cancelled
// before the start); 0 after a failure, which has its line in the job log.
int UploadVolumesBySecureFtp(FILE *log, JobContext *context);
// The test upload of "FTPs_test.txt" with the values typed on the FTP page (plain password);
// one message box tells the outcome. 1 when the upload worked.
int TestSecureFtpUpload(HWND owner, const char *folder, const char *server, const char *user, const char *password,
                        uint32_t flags, int port);

// The progress data of one transfer.
struct UploadProgress {
    FILE *log;                        // progress lines; NULL writes none
    const volatile uint8_t *cancel;   // non-zero aborts the transfer; NULL never cancels
    int32_t *percent;                 // NULL: not reported
    int32_t lastPercent;              // -1 at the start of every file
};

// libcurl's read callback; data is the Win32 handle of the open file.
size_t ReadUploadData(char *buffer, size_t size, size_t count, void *data);
// libcurl's transfer-information callback; data is an UploadProgress. 1 aborts.
int ReportUploadProgress(void *data, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t uploadTotal,
                         curl_off_t uploadNow);

// The protocol a configuration's flags choose: SFTP before FTPS explicit before implicit.
struct SecureFtpProtocol {
    const char *urlFormat;  // server, folder, file name
    const char *scheme;     // the word of the success lines
    int sftp;
};
// NULL when no secure protocol is chosen.
const SecureFtpProtocol *ChooseSecureFtpProtocol(uint32_t flags);
// A path for a URL: every byte but letters, digits, "-._~" and '/' as %XX.
std::string EncodeUrlPath(const char *path);
// The URL of one file; 0 when it does not fit in 1024 characters.
int BuildSecureFtpUrl(const SecureFtpProtocol *protocol, const char *server, const char *folder, const char *name,
                      char *out1024);
// The hint that the failure line adds when the server was refused (code 60), or "": which of
// the two certificate options refused an FTPS server, told apart by whether the chain itself
// was refused; for SFTP, a host key that is not the recorded one.
const char *SecureFtpFailureHint(uint32_t flags, int code, const CertificateCheck &certificate,
                                 const HostKeyCheck &hostKey);
// The same line into the job log and libcurl's log; either may be NULL.
void WriteBothLogs(FILE *log, FILE *curlLog, const char *format, ...);

// What one file's transfer is set up with.
struct SecureFtpTransfer {
    uint32_t flags;
    const char *server;    // normalised
    const char *folder;    // normalised
    const char *name;
    int port;              // 0: the scheme's default
    const char *user;
    const char *password;  // plain; only the USERPWD text is made of it, and wiped once set
    int verbose;
    FILE *curlLog;
    int64_t fileSize;
    UploadProgress *progress;
    HANDLE file;
    char *errorBuffer;     // CURL_ERROR_SIZE bytes
    CertificateCheck *certificate;  // FTPS
    HostKeyCheck *hostKey;          // SFTP
    CurlTrace *trace;               // libcurl's trace with the credentials masked
};

// One easy-handle option and its value, in the form its type takes.
struct CurlOptionSetting {
    CURLoption option;
    long number;
    curl_off_t large;
    void *pointer;
    std::string text;
};

// The options of one file, in the order they are set. Empty when the URL does not fit.
std::vector<CurlOptionSetting> BuildSecureFtpOptions(const SecureFtpTransfer &transfer);
// Sets them on the handle; CURLE_OK when every one was taken. Texts are wiped afterwards.
CURLcode ApplyCurlOptions(CURL *curl, std::vector<CurlOptionSetting> &options);
// Builds the options of one file with the password made plain from its stored form, and sets
// them; the plain copy lives only for this call.
CURLcode ApplySecureFtpOptions(CURL *curl, SecureFtpTransfer transfer, const char *scrambledPassword);

// What the failure line gives as its reason: libcurl's own text, or when it gave none (a host
// key our check refused, for one) what failed.
const char *SecureFtpFailureReason(int code, const char *errorBuffer, const HostKeyCheck &hostKey);
