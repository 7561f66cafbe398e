// SFTP servers' host keys, recorded on first use in "known_hosts.txt" in the data folder (the
// OpenSSH format: "name key-type base64-key" per line, the name "[host]:port" unless the port
// is 22). The first connection to a host and port whose login goes through records the key; a
// later server on that host and port whose key differs is refused before the password is
// sent, with an ERROR line in the logs that shows both fingerprints and the line to delete to
// accept the new key. libcurl is given a file of its own that holds only this server's lines,
// for the key type to ask the server for: it stops reading a file at the first line it does
// not understand (a marker such as "@cert-authority", a very long line), which would make an
// unchanged server offer another type of key and look changed.
#pragma once
#include <stddef.h>
#include <stdio.h>

#include <string>

// The check of one run or test upload; it serves every file sent to the same server.
struct HostKeyCheck {
    const char *host;            // the server as normalised
    int port;                    // the port connected to (22 for the default)
    char knownHostsPath[260];
    FILE *log;                   // the job log; NULL for the test upload
    FILE *curlLog;               // libcurl's log
    int refused;                 // the server's key was not the recorded one
    std::string firstKeyLine;    // the line of a key seen for the first time, not yet recorded
    std::string firstKeyFingerprint;
    char preferencePath[260];    // libcurl's file: this server's recorded keys alone
};

// Readies the check of a server (port 0: SSH's default) against the data folder's file, and
// writes libcurl's file of the server's recorded keys.
void PrepareHostKeyCheck(HostKeyCheck *check, const char *host, int port, FILE *log, FILE *curlLog);
// Deletes libcurl's file once the run or test is over.
void ReleaseHostKeyCheck(HostKeyCheck *check);
// CURLOPT_SSH_HOSTKEYFUNCTION; data is a HostKeyCheck. CURLKHMATCH_OK lets the connection go
// on (a known key, or a host seen for the first time); anything else refuses it.
int CheckSshHostKey(void *data, int keyType, const char *key, size_t keyLength);
// Once the server has proved it holds its key and taken our login (whatever the upload then
// does): records a key seen for the first time, with its log line.
void RecordFirstSshHostKey(HostKeyCheck *check);

// "[host]:port", or the bare host for port 22, as the names of the file have it.
std::string FormatKnownHostName(const char *host, int port);
// "key-type SHA256:<base64 of the key's SHA-256, unpadded>", as OpenSSH shows a key; empty for
// a key blob that does not start with its type.
std::string FormatSshKeyFingerprint(const unsigned char *blob, size_t length);

enum KnownHostMatch { KnownHostMissing, KnownHostMatches, KnownHostChanged };
// Looks the name up in a known-hosts file's text. A line for the name with another key, also
// of another type, is a changed key; its key goes into recordedType and recordedKey (base64).
KnownHostMatch FindKnownHost(const std::string &fileText, const std::string &name, const std::string &keyType,
                             const std::string &keyBase64, std::string *recordedType, std::string *recordedKey);
// The lines of a known-hosts file's text that hold the name, as "name key-type key" lines of
// their own; lines that cannot be read are left out.
std::string SelectKnownHostLines(const std::string &fileText, const std::string &name);
