// SFTP host keys recorded on first use: the names and fingerprints of the known-hosts file, its
// lookup, and the check libcurl calls before it sends the password.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>

#include <string>

#include <curl/curl.h>

#include "FileText.h"
#include "GlobalSettings.h"
#include "ScratchFolder.h"
#include "SshHostKeys.h"

namespace {

// Host-key blobs as SSH sends them: the key type as the first string, then the key.
const std::string kRsaKey("\0\0\0\7ssh-rsa\0\0\0\1\x23", 16);
const std::string kOtherRsaKey("\0\0\0\7ssh-rsa\0\0\0\1\x25", 16);
const std::string kEd25519Key("\0\0\0\13ssh-ed25519\0\0\0\2\xab\xcd", 21);
const char kRsaBase64[] = "AAAAB3NzaC1yc2EAAAABIw==";
const char kRsaFingerprint[] = "ssh-rsa SHA256:1BiOulKG56AIj88W/Vere9GJqaihGOc2EfTcR8tnZFg";
const char kEd25519Fingerprint[] = "ssh-ed25519 SHA256:JsBTgRyfi3PKhCr+szvWQ+9TtTk8e8MM+g60tyI5yvA";

std::string Fingerprint(const std::string &blob)
{
    return FormatSshKeyFingerprint(reinterpret_cast<const unsigned char *>(blob.data()), blob.size());
}

TEST(KnownHosts, NamesAndFingerprintsAreWrittenAsOpenSshWritesThem)
{
    EXPECT_EQ("sftp.example.com", FormatKnownHostName("sftp.example.com", 22));
    EXPECT_EQ("[127.0.0.1]:2222", FormatKnownHostName("127.0.0.1", 2222));
    EXPECT_EQ(kRsaFingerprint, Fingerprint(kRsaKey));
    EXPECT_EQ(kEd25519Fingerprint, Fingerprint(kEd25519Key));
    EXPECT_EQ("", Fingerprint(std::string("\0\0\0\x40ssh-rsa", 11)));  // a type longer than the blob
    EXPECT_EQ("", Fingerprint(std::string("\0\0", 2)));
}

TEST(KnownHosts, LookupMatchesTheNameAndTellsAChangedKeyFromANewHost)
{
    const std::string file = "# recorded by hand\r\n"
                             "\r\n"
                             "@revoked [h]:2222 ssh-rsa AAAAold\r\n"
                             "other.example.com ssh-rsa AAAAother\r\n"
                             "alias,[h]:2222 ssh-rsa AAAAB3NzaC1yc2EAAAABIw== comment\r\n"
                             "[H]:3333\tssh-ed25519\tAAAAed\n"
                             "[h]:4444 ssh-rsa AAAAfour";  // the last line without its line end
    const struct {
        const char *name, *type, *key;
        KnownHostMatch match;
        const char *recordedType, *recordedKey;
    } cases[] = {
        {"[h]:2222", "ssh-rsa", kRsaBase64, KnownHostMatches, "", ""},
        {"alias", "ssh-rsa", kRsaBase64, KnownHostMatches, "", ""},
        {"[h]:2222", "ssh-rsa", "AAAAnew", KnownHostChanged, "ssh-rsa", kRsaBase64},
        {"[h]:2222", "ssh-ed25519", "AAAAed", KnownHostChanged, "ssh-rsa", kRsaBase64},  // another type
        {"[h]:3333", "ssh-ed25519", "AAAAed", KnownHostMatches, "", ""},  // names ignore case
        {"[h]:4444", "ssh-rsa", "AAAAfour", KnownHostMatches, "", ""},
        {"[h]:22", "ssh-rsa", kRsaBase64, KnownHostMissing, "", ""},
        {"h", "ssh-rsa", kRsaBase64, KnownHostMissing, "", ""},
        {"recorded", "ssh-rsa", kRsaBase64, KnownHostMissing, "", ""},  // words of a comment
    };
    for (const auto &c : cases) {
        std::string type, key;
        EXPECT_EQ(c.match, FindKnownHost(file, c.name, c.type, c.key, &type, &key)) << c.name << " " << c.key;
        EXPECT_EQ(c.recordedType, type) << c.name;
        EXPECT_EQ(c.recordedKey, key) << c.name;
    }
    std::string type, key;
    EXPECT_EQ(KnownHostMissing, FindKnownHost("", "h", "ssh-rsa", kRsaBase64, &type, &key));
}

class SshHostKeyCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        lstrcpynA(savedDataFolder, dataFolder, sizeof savedDataFolder);
        lstrcpynA(dataFolder, folder.path.c_str(), sizeof dataFolder);
        knownHosts = folder.path + "known_hosts.txt";
        logPath = folder.path + "FTPsLog.txt";
    }
    void TearDown() override { lstrcpynA(dataFolder, savedDataFolder, sizeof dataFolder); }

    // One connection's check of the key the server offers; the log's text after it.
    int Connect(const std::string &key, int port, bool uploaded, HostKeyCheck *check)
    {
        FILE *log = fopen(logPath.c_str(), "w");
        PrepareHostKeyCheck(check, "127.0.0.1", port, nullptr, log);
        int result = CheckSshHostKey(check, CURLKHTYPE_RSA, key.data(), key.size());
        if (result == CURLKHMATCH_OK && uploaded)
            RecordFirstSshHostKey(check);
        fclose(log);
        return result;
    }
    ScratchFolder folder;
    char savedDataFolder[MAX_PATH] = "";
    std::string knownHosts, logPath;
};

TEST_F(SshHostKeyCheck, FirstKeyIsRecordedOnceUploadedAndAChangedKeyIsRefused)
{
    HostKeyCheck check;
    // A first connection that fails later records nothing.
    EXPECT_EQ(CURLKHMATCH_OK, Connect(kRsaKey, 2222, false, &check));
    EXPECT_EQ("", ReadWholeFile(knownHosts));

    EXPECT_EQ(CURLKHMATCH_OK, Connect(kRsaKey, 2222, true, &check));
    EXPECT_EQ(std::string("[127.0.0.1]:2222 ssh-rsa ") + kRsaBase64 + "\r\n", ReadWholeFile(knownHosts));
    EXPECT_EQ(std::string("Recorded the SSH host key of 127.0.0.1 port 2222 at the first connection: ") +
                  kRsaFingerprint + " (known hosts file: " + knownHosts + ")\r\n",
              ReadWholeFile(logPath));

    EXPECT_EQ(CURLKHMATCH_OK, Connect(kRsaKey, 2222, true, &check));
    EXPECT_EQ(0, check.refused);
    EXPECT_EQ("", ReadWholeFile(logPath));
    EXPECT_EQ(CURLKHMATCH_OK, Connect(kOtherRsaKey, 2223, true, &check));  // another port, another server

    for (const std::string &changed : {kOtherRsaKey, kEd25519Key}) {
        std::string before = ReadWholeFile(knownHosts);
        EXPECT_EQ(CURLKHMATCH_MISMATCH, Connect(changed, 2222, true, &check));
        EXPECT_EQ(1, check.refused);
        EXPECT_EQ(before, ReadWholeFile(knownHosts));
        EXPECT_EQ(std::string("ERROR: The SSH host key of 127.0.0.1 port 2222 has changed: recorded ") +
                      kRsaFingerprint + ", offered now " + Fingerprint(changed) +
                      ".  The connection was refused before the password was sent.  If the server's key was "
                      "changed on purpose, delete the line of [127.0.0.1]:2222 from " + knownHosts +
                      " to accept the new key.\r\n",
                  ReadWholeFile(logPath));
    }
}

TEST_F(SshHostKeyCheck, KeysThatCannotBeCheckedAreRefused)
{
    HostKeyCheck check;
    EXPECT_EQ(CURLKHMATCH_MISMATCH, Connect(std::string("\0\0", 2), 2222, true, &check));
    EXPECT_NE(std::string::npos, ReadWholeFile(logPath).find("ERROR: The SSH server 127.0.0.1 port 2222 offered a host key "
                                                    "that cannot be read; the connection was refused"));
    // A known-hosts file another program holds open without sharing cannot be read.
    HANDLE locked = CreateFileA(knownHosts.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    int result = Connect(kRsaKey, 2222, true, &check);
    CloseHandle(locked);
    EXPECT_EQ(CURLKHMATCH_MISMATCH, result);
    EXPECT_NE(std::string::npos, ReadWholeFile(logPath).find("ERROR: Unable to read the known SSH host keys in " + knownHosts))
        << ReadWholeFile(logPath);
    EXPECT_EQ("", ReadWholeFile(knownHosts));
}

} // namespace
