#include "SshHostKeys.h"

#include <windows.h>
#include <errno.h>
#include <string.h>

#include <vector>

#include <curl/curl.h>
#include <openssl/evp.h>

#include "CheckedFile.h"
#include "GlobalSettings.h"
#include "MsvcrtFormat.h"
#include "SecureFtpUpload.h"

namespace {

// The line of a check on one of the data folder's files (CheckedFile.h), in both logs.
void LogBothFileCheck(const HostKeyCheck *check, const FileCheck &fileCheck, const char *path)
{
    char line[2400];
    if (FormatFileCheck(fileCheck, path, line, sizeof(line)))
        WriteBothLogs(check->log, check->curlLog, "%s", line);
}

std::string EncodeBase64(const unsigned char *data, size_t length)
{
    std::string text(4 * ((length + 2) / 3) + 1, '\0');
    int written = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(&text[0]), data, (int)length);
    text.resize(written > 0 ? (size_t)written : 0);
    return text;
}

// False for text that is not whole base64.
bool DecodeBase64(const std::string &text, std::vector<unsigned char> *data)
{
    if (text.empty() || text.size() % 4 != 0)
        return false;
    data->assign(text.size() / 4 * 3, 0);
    int written = EVP_DecodeBlock(data->data(), reinterpret_cast<const unsigned char *>(text.data()), (int)text.size());
    if (written < 0)
        return false;
    size_t padding = text[text.size() - 1] == '=' ? (text[text.size() - 2] == '=' ? 2 : 1) : 0;
    data->resize((size_t)written - padding);
    return true;
}

// The key type a host-key blob begins with (its first SSH string), or "" when it has none.
std::string ReadKeyType(const unsigned char *blob, size_t length)
{
    if (length < 4)
        return std::string();
    size_t nameLength = ((size_t)blob[0] << 24) | ((size_t)blob[1] << 16) | ((size_t)blob[2] << 8) | blob[3];
    if (nameLength == 0 || nameLength > 64 || nameLength > length - 4)
        return std::string();
    std::string type(reinterpret_cast<const char *>(blob + 4), nameLength);
    for (char c : type) {
        if (c <= ' ' || c > '~')
            return std::string();
    }
    return type;
}

// The fingerprint of a recorded key as the file holds it.
std::string FormatRecordedFingerprint(const std::string &type, const std::string &keyBase64)
{
    std::vector<unsigned char> blob;
    std::string fingerprint;
    if (DecodeBase64(keyBase64, &blob))
        fingerprint = FormatSshKeyFingerprint(blob.data(), blob.size());
    return fingerprint.empty() ? type + " (unreadable key)" : fingerprint;
}

// The file's text; a file that does not exist yet is empty. False when it cannot be read.
bool ReadKnownHostsFile(const char *path, std::string *text)
{
    text->clear();
    FILE *file = fopen(path, "rb");
    if (file == nullptr)
        return errno == ENOENT;
    char chunk[4096];
    size_t read;
    while ((read = fread(chunk, 1, sizeof(chunk), file)) > 0)
        text->append(chunk, read);
    bool whole = ferror(file) == 0;
    fclose(file);
    return whole;
}

bool SameHostName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// The line's fields: its names (comma-separated), key type and key; false for lines that hold
// none (blank, comments, markers such as "@revoked", hashed names never match ours).
bool SplitKnownHostLine(const std::string &line, std::string *names, std::string *type, std::string *key)
{
    std::vector<std::string> fields;
    size_t at = 0;
    while (fields.size() < 3) {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string::npos)
            break;
        size_t end = line.find_first_of(" \t\r", at);
        fields.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    if (fields.size() < 3 || fields[0][0] == '#' || fields[0][0] == '@')
        return false;
    *names = fields[0];
    *type = fields[1];
    *key = fields[2];
    return true;
}

bool NamesHold(const std::string &names, const std::string &name)
{
    size_t start = 0;
    for (;;) {
        size_t comma = names.find(',', start);
        if (SameHostName(names.substr(start, comma == std::string::npos ? std::string::npos : comma - start), name))
            return true;
        if (comma == std::string::npos)
            return false;
        start = comma + 1;
    }
}

struct RecordedKey {
    std::string type;
    std::string key;
};

// The keys the file records for this host name, in the file's order; lines it cannot read are
// passed over.
std::vector<RecordedKey> ReadRecordedKeys(const std::string &fileText, const std::string &name)
{
    std::vector<RecordedKey> keys;
    size_t start = 0;
    while (start < fileText.size()) {
        size_t end = fileText.find('\n', start);
        std::string line = fileText.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? fileText.size() : end + 1;
        std::string names, type, key;
        if (SplitKnownHostLine(line, &names, &type, &key) && NamesHold(names, name))
            keys.push_back({type, key});
    }
    return keys;
}

} // namespace

void PrepareHostKeyCheck(HostKeyCheck *check, const char *host, int port, FILE *log, FILE *curlLog)
{
    check->host = host;
    check->port = port != 0 ? port : 22;
    FormatText(check->knownHostsPath, sizeof(check->knownHostsPath), "%sknown_hosts.txt", dataFolder);
    FormatText(check->preferencePath, sizeof(check->preferencePath), "%sknown_hosts_curl.txt", dataFolder);
    check->log = log;
    check->curlLog = curlLog;
    check->refused = 0;
    check->firstKeyLine.clear();
    // Without this file libcurl asks for its own choice of key type, which the check may then
    // take for a changed key; the check itself still reads the whole file. A file that cannot
    // be read is the check's to report.
    std::string text;
    if (!ReadKnownHostsFile(check->knownHostsPath, &text))
        return;
    std::string lines = SelectKnownHostLines(text, FormatKnownHostName(host, check->port));
    FileCheck fileCheck;
    FILE *file = OpenCheckedStream(check->preferencePath, "wb", FILE_SHARE_READ | FILE_SHARE_WRITE, &fileCheck);
    LogBothFileCheck(check, fileCheck, check->preferencePath);
    bool written = file != nullptr && fwrite(lines.data(), 1, lines.size(), file) == lines.size();
    if (file != nullptr)
        written = fclose(file) == 0 && written;
    if (!written)
        WriteBothLogs(log, curlLog,
                      "WARNING: Unable to write %s, so the SSH server %s port %d may offer another type of key than "
                      "the one recorded\n",
                      check->preferencePath, host, check->port);
}

void ReleaseHostKeyCheck(HostKeyCheck *check)
{
    FileCheck fileCheck;
    if (check->preferencePath[0] != '\0')
        DeleteFileChecked(check->preferencePath, &fileCheck);
}

std::string SelectKnownHostLines(const std::string &fileText, const std::string &name)
{
    std::string selected;
    for (const RecordedKey &recorded : ReadRecordedKeys(fileText, name))
        selected += name + " " + recorded.type + " " + recorded.key + "\n";
    return selected;
}

std::string FormatKnownHostName(const char *host, int port)
{
    if (port == 22)
        return host;
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

std::string FormatSshKeyFingerprint(const unsigned char *blob, size_t length)
{
    std::string type = ReadKeyType(blob, length);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (type.empty() || !EVP_Digest(blob, length, digest, &digestLength, EVP_sha256(), nullptr))
        return std::string();
    std::string encoded = EncodeBase64(digest, digestLength);
    encoded.erase(encoded.find_last_not_of('=') + 1);
    return type + " SHA256:" + encoded;
}

KnownHostMatch FindKnownHost(const std::string &fileText, const std::string &name, const std::string &keyType,
                             const std::string &keyBase64, std::string *recordedType, std::string *recordedKey)
{
    std::vector<RecordedKey> keys = ReadRecordedKeys(fileText, name);
    for (const RecordedKey &recorded : keys)
        if (recorded.type == keyType && recorded.key == keyBase64)
            return KnownHostMatches;
    if (keys.empty())
        return KnownHostMissing;
    *recordedType = keys[0].type;
    *recordedKey = keys[0].key;
    return KnownHostChanged;
}

int CheckSshHostKey(void *data, int, const char *key, size_t keyLength)
{
    HostKeyCheck *check = static_cast<HostKeyCheck *>(data);
    const unsigned char *blob = reinterpret_cast<const unsigned char *>(key);
    std::string type = ReadKeyType(blob, keyLength);
    if (type.empty()) {
        WriteBothLogs(check->log, check->curlLog,
                      "ERROR: The SSH server %s port %d offered a host key that cannot be read; the connection was "
                      "refused\n",
                      check->host, check->port);
        return CURLKHMATCH_MISMATCH;
    }
    std::string text;
    if (!ReadKnownHostsFile(check->knownHostsPath, &text)) {
        WriteBothLogs(check->log, check->curlLog,
                      "ERROR: Unable to read the known SSH host keys in %s, so the key of %s port %d cannot be "
                      "checked; the connection was refused\n",
                      check->knownHostsPath, check->host, check->port);
        return CURLKHMATCH_MISMATCH;
    }
    std::string name = FormatKnownHostName(check->host, check->port);
    std::string keyBase64 = EncodeBase64(blob, keyLength);
    std::string recordedType, recordedKey;
    switch (FindKnownHost(text, name, type, keyBase64, &recordedType, &recordedKey)) {
    case KnownHostMatches:
        return CURLKHMATCH_OK;
    case KnownHostMissing:
        check->firstKeyLine = name + " " + type + " " + keyBase64;
        check->firstKeyFingerprint = FormatSshKeyFingerprint(blob, keyLength);
        return CURLKHMATCH_OK;
    case KnownHostChanged:
        break;
    }
    check->refused = 1;
    WriteBothLogs(check->log, check->curlLog,
                  "ERROR: The SSH host key of %s port %d has changed: recorded %s, offered now %s.  The connection "
                  "was refused before the password was sent.  If the server's key was changed on purpose, delete "
                  "the line of %s from %s to accept the new key.\n",
                  check->host, check->port, FormatRecordedFingerprint(recordedType, recordedKey).c_str(),
                  FormatSshKeyFingerprint(blob, keyLength).c_str(), name.c_str(), check->knownHostsPath);
    return CURLKHMATCH_MISMATCH;
}

void RecordFirstSshHostKey(HostKeyCheck *check)
{
    if (check->firstKeyLine.empty())
        return;
    std::string text;
    bool recorded = false;
    if (ReadKnownHostsFile(check->knownHostsPath, &text)) {
        FileCheck fileCheck;
        FILE *file = OpenCheckedStream(check->knownHostsPath, "a", FILE_SHARE_READ, &fileCheck);
        LogBothFileCheck(check, fileCheck, check->knownHostsPath);
        if (file != nullptr) {
            // A line the user left without its line end must not run into the new one.
            const char *separator = !text.empty() && text[text.size() - 1] != '\n' ? "\n" : "";
            bool written = WriteText(file, "%s%s\n", separator, check->firstKeyLine.c_str()) > 0;
            recorded = fclose(file) == 0 && written;
        }
    }
    if (recorded)
        WriteBothLogs(check->log, check->curlLog,
                      "Recorded the SSH host key of %s port %d at the first connection: %s (known hosts file: %s)\n",
                      check->host, check->port, check->firstKeyFingerprint.c_str(), check->knownHostsPath);
    else
        WriteBothLogs(check->log, check->curlLog,
                      "WARNING: Unable to record the SSH host key of %s port %d (%s) in %s; the next connection "
                      "takes it as new again\n",
                      check->host, check->port, check->firstKeyFingerprint.c_str(), check->knownHostsPath);
    check->firstKeyLine.clear();
}
