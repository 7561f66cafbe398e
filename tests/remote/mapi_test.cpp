// The Simple MAPI roads against the recording MAPI32.DLL beside this program: the test e-mail
// and the job-result e-mail, a mail client that raises an exception, and the registry value
// that keeps MAPI32.DLL from being touched.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "BackupConfig.h"
#include "FileText.h"
#include "GlobalSettings.h"
#include "JobResultMail.h"
#include "MessageBoxSeam.h"
#include "ScratchFolder.h"
#include "SimpleMapi.h"
#include "TestMails.h"

namespace {

std::vector<std::string> boxes;

int RecordBox(HWND, const char *text, const char *, UINT)
{
    boxes.push_back(text);
    return IDOK;
}

class SimpleMapiRoad : public ::testing::Test {
protected:
    ScratchFolder folder;
    std::string record;
    void SetUp() override
    {
        record = folder.path + "mapi.txt";
        SetEnvironmentVariableA("VELLORAN_MAPI_RECORD", record.c_str());
        SetEnvironmentVariableA("VELLORAN_MAPI_LOGON", "0");
        SetEnvironmentVariableA("VELLORAN_MAPI_SEND", "0");
        boxes.clear();
        SetMessageBoxHandler(RecordBox);
        SetMapiValue("1");
    }
    void TearDown() override
    {
        SetMessageBoxHandler(nullptr);
        SetMapiValue("1");
    }
    static void SetMapiValue(const char *value)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", 0, nullptr,
                                  0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "MAPI", 0, REG_SZ, reinterpret_cast<const BYTE *>(value), (DWORD)strlen(value) + 1);
        RegCloseKey(key);
    }
};

TEST_F(SimpleMapiRoad, TestMailLogsOnSendsWithoutAttachmentAndLogsOff)
{
    SendMapiTestMail(nullptr, "a@x.test, b@y.test", 0);
    std::string calls = ReadWholeFile(record);
    EXPECT_NE(calls.find("logon profile= password= flags=3\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("send session=4660 flags=0 subject=Velloran Email Test recipients=[1|a@x.test|SMTP:a@x.test]"
                         "[1|b@y.test|SMTP:b@y.test] files=\n"),
              std::string::npos)
        << calls;
    EXPECT_NE(calls.find("logoff session=4660\n"), std::string::npos);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Message Sent Successfully");
}

TEST_F(SimpleMapiRoad, ErrorsAndAnExceptionInTheClientAreReported)
{
    SetEnvironmentVariableA("VELLORAN_MAPI_SEND", "14");
    SendMapiTestMail(nullptr, "a@x.test", MapiPlainAddress);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "A recipient did not appear in the address list.");
    EXPECT_EQ(boxes[1], "No message was sent.");
    EXPECT_NE(ReadWholeFile(record).find("[1|a@x.test|a@x.test]"), std::string::npos);
    boxes.clear();
    SetEnvironmentVariableA("VELLORAN_MAPI_SEND", "raise");
    SendMapiTestMail(nullptr, "a@x.test", 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Caught exception while trying to send MAPI email");
    boxes.clear();
    SetEnvironmentVariableA("VELLORAN_MAPI_LOGON", "3");
    SendMapiTestMail(nullptr, "a@x.test", 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Failed to logon to Simple MAPI email client.  Error 3");
}

TEST_F(SimpleMapiRoad, RegistryValueOtherThanOneKeepsTheLibraryUntouched)
{
    SetMapiValue("0");
    SendMapiTestMail(nullptr, "a@x.test", 0);
    EXPECT_EQ(ReadWholeFile(record), "");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Failed to initialize Simple MAPI.  Make sure you have a default email client enabled that "
                        "supports Simple MAPI.");
}

TEST_F(SimpleMapiRoad, JobResultMailAttachesTheLogCopy)
{
    char savedData[260];
    strcpy(savedData, dataFolder);
    strcpy(dataFolder, folder.path.c_str());
    GlobalSettings saved = gSettings;
    gSettings.jrOptions = UseSimpleMapi;
    strcpy(gSettings.jrEmailTo, "admin@x.test");
    BackupConfig config = {};
    strcpy(config.description, "Nightly");
    config.uniqueId = 9;
    config.lastResult = 3;
    std::string logPath = folder.path + "9.txt";
    FILE *log = fopen(logPath.c_str(), "wb");
    ASSERT_NE(log, nullptr);
    fputs("first run\n", log);
    FILE *copy = fopen((folder.path + "9_emailresults.txt").c_str(), "w");
    fputs("an older, longer copy that must be replaced\n", copy);
    fclose(copy);
    EXPECT_EQ(SendJobResultMail(log, &config), 1);
    SetEnvironmentVariableA("VELLORAN_MAPI_SEND", "raise");
    EXPECT_EQ(SendJobResultMail(log, &config), 0);
    fclose(log);
    std::string logged = ReadWholeFile(logPath);
    EXPECT_NE(logged.find("E-mail of job results completed successfully.\n\n"), std::string::npos) << logged;
    EXPECT_NE(logged.find("ERROR (142a): Caught exception while trying to send MAPI email: Nightly - Warnings\n"),
              std::string::npos)
        << logged;
    std::string calls = ReadWholeFile(record);
    EXPECT_NE(calls.find("subject=Nightly - Warnings recipients=[1|admin@x.test|SMTP:admin@x.test] files=[-1|" +
                         folder.path + "9_emailresults.txt|(null)]"),
              std::string::npos)
        << calls;
    EXPECT_NE(calls.find("text=Backup configuration: Nightly\r\nJob Result: Warnings\r\n"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(folder.path + "9_emailresults.txt").substr(0, 10), "first run\n");
    gSettings = saved;
    strcpy(dataFolder, savedData);
}

} // namespace
