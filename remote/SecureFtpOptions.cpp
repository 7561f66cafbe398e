#include "SecureFtpUpload.h"

#include <string.h>

#include "BackupConfig.h"
#include "FtpCall.h"
#include "MsvcrtFormat.h"
#include "PlainPassword.h"

namespace {

const SecureFtpProtocol kSftp = {"sftp://%s/%s%s", "sftp", 1};
const SecureFtpProtocol kFtpsExplicit = {"ftp://%s/%s%s", "ftpes", 0};
const SecureFtpProtocol kFtpsImplicit = {"ftps://%s/%s%s", "ftpis", 0};

CurlOptionSetting NumberOption(CURLoption option, long value)
{
    CurlOptionSetting setting{option, value, 0, nullptr, std::string()};
    return setting;
}

CurlOptionSetting LargeOption(CURLoption option, curl_off_t value)
{
    CurlOptionSetting setting{option, 0, value, nullptr, std::string()};
    return setting;
}

CurlOptionSetting PointerOption(CURLoption option, void *value)
{
    CurlOptionSetting setting{option, 0, 0, value, std::string()};
    return setting;
}

CurlOptionSetting TextOption(CURLoption option, const char *value)
{
    CurlOptionSetting setting{option, 0, 0, nullptr, std::string(value)};
    return setting;
}

// "user:password", on the heap from the start: a short text would live inside the string
// object, and every move of it would leave a copy behind that no one wipes.
CurlOptionSetting CredentialsOption(const char *user, const char *password)
{
    CurlOptionSetting setting{CURLOPT_USERPWD, 0, 0, nullptr, std::string()};
    setting.text.reserve(strlen(user) + strlen(password) + 32);
    setting.text.append(user).append(":").append(password);
    return setting;
}

bool IsUnreservedUrlByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

} // namespace

const SecureFtpProtocol *ChooseSecureFtpProtocol(uint32_t flags)
{
    if (flags & Sftp)
        return &kSftp;
    if (flags & FtpsExplicit)
        return &kFtpsExplicit;
    if (flags & FtpsImplicit)
        return &kFtpsImplicit;
    return nullptr;
}

std::string EncodeUrlPath(const char *path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(path); *p != '\0'; ++p) {
        if (IsUnreservedUrlByte(*p)) {
            out += (char)*p;
        } else {
            out += '%';
            out += kHex[*p >> 4];
            out += kHex[*p & 15];
        }
    }
    return out;
}

int BuildSecureFtpUrl(const SecureFtpProtocol *protocol, const char *server, const char *folder, const char *name,
                      char *out1024)
{
    std::string encodedFolder = EncodeUrlPath(folder);
    std::string encodedName = EncodeUrlPath(name);
    int length = FormatText(out1024, 1024, protocol->urlFormat, server, encodedFolder.c_str(), encodedName.c_str());
    return length >= 0 && length < 1024 ? 1 : 0;
}

const char *SecureFtpFailureHint(uint32_t flags, int code, const CertificateCheck &certificate,
                                 const HostKeyCheck &hostKey)
{
    static const char kHostNameHint[] = "\nIf you want to accept this certificate hostname mismatch and proceed "
                                        "anyway, turn off the \"Verify Certificate Hostname\" option.\n\n";
    static const char kAuthenticityHint[] = "\nIf you want to skip checking the certificate validity turn off the "
                                            "\"Verify Certificate Authenticity\" option.\n\n";
    static const char kHostKeyHint[] = "\nThe server's SSH host key is not the one recorded at the first connection, "
                                       "so no password was sent; the log file says how to accept the new key.\n\n";
    // libcurl gives every refused server this one code: a certificate that is untrusted or
    // made out for another name, and a host key that the check turned down.
    const SecureFtpProtocol *protocol = ChooseSecureFtpProtocol(flags);
    if (code != CURLE_PEER_FAILED_VERIFICATION || protocol == nullptr)
        return "";
    if (protocol->sftp)
        return hostKey.refused ? kHostKeyHint : "";
    // A refused chain ends the handshake before the name is looked at.
    if ((flags & VerifyCertificate) && certificate.chainRefused)
        return kAuthenticityHint;
    if (flags & VerifyHostName)
        return kHostNameHint;
    return (flags & VerifyCertificate) ? kAuthenticityHint : "";
}

std::vector<CurlOptionSetting> BuildSecureFtpOptions(const SecureFtpTransfer &transfer)
{
    std::vector<CurlOptionSetting> options;
    options.reserve(32);  // no reallocation moves the credentials' text around
    const SecureFtpProtocol *protocol = ChooseSecureFtpProtocol(transfer.flags);
    char text[1024];
    if (protocol == nullptr || !BuildSecureFtpUrl(protocol, transfer.server, transfer.folder, transfer.name, text))
        return options;
    options.push_back(PointerOption(CURLOPT_STDERR, transfer.curlLog));
    // SFTP traces always: the trace tells when the login went through (CurlTrace.h), and the
    // log receives it only with verbose logging.
    options.push_back(NumberOption(CURLOPT_VERBOSE, transfer.verbose || protocol->sftp ? 1L : 0L));
    options.push_back(NumberOption(CURLOPT_UPLOAD, 1L));
    options.push_back(LargeOption(CURLOPT_INFILESIZE_LARGE, (curl_off_t)transfer.fileSize));
    options.push_back(NumberOption(CURLOPT_NOPROGRESS, 0L));
    options.push_back(PointerOption(CURLOPT_XFERINFOFUNCTION, reinterpret_cast<void *>(&ReportUploadProgress)));
    options.push_back(PointerOption(CURLOPT_XFERINFODATA, transfer.progress));
    options.push_back(PointerOption(CURLOPT_READFUNCTION, reinterpret_cast<void *>(&ReadUploadData)));
    options.push_back(PointerOption(CURLOPT_READDATA, transfer.file));
    if (protocol->sftp)
        options.push_back(NumberOption(CURLOPT_SSH_AUTH_TYPES, (long)CURLSSH_AUTH_PASSWORD));
    options.push_back(NumberOption(CURLOPT_USE_SSL, (long)CURLUSESSL_ALL));
    options.push_back(TextOption(CURLOPT_URL, text));
    if (transfer.port != 0)
        options.push_back(NumberOption(CURLOPT_PORT, (long)transfer.port));
    options.push_back(CredentialsOption(transfer.user, transfer.password));
    options.push_back(PointerOption(CURLOPT_ERRORBUFFER, transfer.errorBuffer));
    options.push_back(NumberOption(CURLOPT_SSL_VERIFYPEER, (transfer.flags & VerifyCertificate) ? 1L : 0L));
    options.push_back(NumberOption(CURLOPT_SSL_VERIFYHOST, (transfer.flags & VerifyHostName) ? 2L : 0L));
    if (protocol->sftp) {
        // The recorded key's type is the one libssh2 asks the server for.
        options.push_back(TextOption(CURLOPT_SSH_KNOWNHOSTS, transfer.hostKey->preferencePath));
        options.push_back(PointerOption(CURLOPT_SSH_HOSTKEYFUNCTION, reinterpret_cast<void *>(&CheckSshHostKey)));
        options.push_back(PointerOption(CURLOPT_SSH_HOSTKEYDATA, transfer.hostKey));
    } else {
        // libcurl is built without a certificate bundle: the machine's trusted roots are the ones.
        options.push_back(NumberOption(CURLOPT_SSL_OPTIONS, (long)CURLSSLOPT_NATIVE_CA));
        options.push_back(PointerOption(CURLOPT_SSL_CTX_FUNCTION, reinterpret_cast<void *>(&WatchCertificateChain)));
        options.push_back(PointerOption(CURLOPT_SSL_CTX_DATA, transfer.certificate));
    }
    // The trace goes through the mask; without it libcurl would write "PASS <password>".
    options.push_back(PointerOption(CURLOPT_DEBUGFUNCTION, reinterpret_cast<void *>(&WriteCurlTrace)));
    options.push_back(PointerOption(CURLOPT_DEBUGDATA, transfer.trace));
    // A server that stops answering ends the transfer instead of holding the job: the
    // connection with its handshake and login, each reply, and a transfer that stalls.
    long seconds = (long)FtpReplyTimeoutSeconds();
    options.push_back(NumberOption(CURLOPT_CONNECTTIMEOUT, seconds));
    options.push_back(NumberOption(CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds));
    options.push_back(NumberOption(CURLOPT_LOW_SPEED_LIMIT, 1L));
    options.push_back(NumberOption(CURLOPT_LOW_SPEED_TIME, seconds));
    return options;
}

CURLcode ApplyCurlOptions(CURL *curl, std::vector<CurlOptionSetting> &options)
{
    CURLcode result = CURLE_OK;
    for (CurlOptionSetting &setting : options) {
        CURLcode code;
        if (setting.option < CURLOPTTYPE_OBJECTPOINT)
            code = curl_easy_setopt(curl, setting.option, setting.number);
        else if (setting.option >= CURLOPTTYPE_OFF_T)
            code = curl_easy_setopt(curl, setting.option, setting.large);
        else if (!setting.text.empty())
            code = curl_easy_setopt(curl, setting.option, setting.text.c_str());
        else
            code = curl_easy_setopt(curl, setting.option, setting.pointer);
        if (code != CURLE_OK && result == CURLE_OK)
            result = code;
    }
    for (CurlOptionSetting &setting : options) {
        if (!setting.text.empty())
            SecureZeroMemory(&setting.text[0], setting.text.size());
    }
    return result;
}

CURLcode ApplySecureFtpOptions(CURL *curl, SecureFtpTransfer transfer, const char *scrambledPassword)
{
    PlainPassword password(scrambledPassword);
    transfer.password = password.Text();
    std::vector<CurlOptionSetting> options = BuildSecureFtpOptions(transfer);
    if (options.empty())
        return CURLE_URL_MALFORMAT;
    return ApplyCurlOptions(curl, options);
}

const char *SecureFtpFailureReason(int code, const char *errorBuffer, const HostKeyCheck &hostKey)
{
    if (errorBuffer[0] != '\0')
        return errorBuffer;
    if (hostKey.refused)
        return "The SSH host key of the server is not the one recorded for it";
    return curl_easy_strerror((CURLcode)code);
}
