#include <gtest/gtest.h>

#include <stdio.h>
#include <string>

#include "CoreTestSupport.h"
#include "ErrorReport.h"
#include "WindowsVersion.h"
#include "resource.h"

namespace {

std::string LogOf(DWORD code, const char *title)
{
    FILE *log = tmpfile();
    SetLastError(code);
    EXPECT_EQ(LogLastError(title, log), code);
    fflush(log);
    long size = ftell(log);
    rewind(log);
    std::string text((size_t)size, '\0');
    text.resize(fread(&text[0], 1, (size_t)size, log));
    fclose(log);
    return text;
}

} // namespace

TEST(ErrorReport, Win32ErrorBlockInTheLog)
{
    std::string text = LogOf(ERROR_ACCESS_DENIED, "Copy File");
    EXPECT_EQ(text.rfind("== start_error\nCopy File:\nERROR at ", 0), 0u) << text;
    EXPECT_GT(text.size(), 60u);
    EXPECT_EQ(text.substr(text.size() - 13), "== end_error\n") << text;
}

TEST(ErrorReport, WinInetErrorsInTheLog)
{
    std::string timeout = LogOf(12002, "FTP Connect");
    EXPECT_NE(timeout.find("WinInet error code: 12002\n\tMessage: "), std::string::npos) << timeout;
    EXPECT_EQ(timeout.find("\t\t"), std::string::npos);

    std::string extended = LogOf(12003, "FTP Put");
    EXPECT_NE(extended.find("WinInet error code: 12003\n"), std::string::npos) << extended;
    EXPECT_NE(extended.find("\n\t\t"), std::string::npos) << "the extended lines follow: " << extended;
    EXPECT_EQ(extended.substr(extended.size() - 13), "== end_error\n");
}

TEST(ErrorReport, BoxesForTheLastError)
{
    {
        MessageBoxRecorder boxes;
        SetLastError(ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(ShowLastError(nullptr), (DWORD)ERROR_FILE_NOT_FOUND);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text.rfind("ERROR: ", 0), 0u);
        EXPECT_EQ(boxes.boxes[0].caption, "Velloran");
    }
    {
        MessageBoxRecorder boxes;
        SetLastError(12002);
        ShowLastError(nullptr);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text.rfind("ERROR: WinInet error code: 12002\nMessage: ", 0), 0u);
    }
    {
        MessageBoxRecorder boxes;
        SetLastError(12003);
        EXPECT_EQ(ShowLastError(nullptr), 12003u);
        EXPECT_EQ(boxes.boxes.size(), 2u);
    }
    {
        MessageBoxRecorder boxes;
        ShowSystemErrorMessage(nullptr, ERROR_ACCESS_DENIED);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].type, (UINT)MB_ICONINFORMATION);
        EXPECT_FALSE(boxes.boxes[0].text.empty());
    }
}

TEST(ErrorReport, TextsWithoutAMessageAreEmpty)
{
    char text[512] = "junk";
    GetErrorText(0x2FFFFFFF, text, sizeof(text));
    EXPECT_STREQ(text, "");
}

TEST(ErrorReport, MessageBoxFromResourceUsesTheStringTable)
{
    MessageBoxRecorder boxes(IDYES);
    EXPECT_EQ(MessageBoxFromResource(nullptr, IDS_OUT_OF_MEMORY, MB_ICONWARNING), IDYES);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Error: Unable to allocate memory");
    EXPECT_EQ(boxes.boxes[0].caption, "Velloran");
    EXPECT_EQ(boxes.boxes[0].type, (UINT)MB_ICONWARNING);
}

TEST(WindowsVersion, NameEndsWithASpaceOrServer)
{
    char name[260];
    EXPECT_EQ(GetWindowsVersionName(name), 1);
    std::string s = name;
    EXPECT_EQ(s.rfind("Windows ", 0), 0u) << s;
    EXPECT_TRUE(s.back() == ' ' || s.substr(s.size() - 6) == "Server") << s;
    EXPECT_TRUE(IsWindowsVersionAtLeast(5, 1, 0));
    EXPECT_FALSE(IsWindowsVersionAtLeast(99, 0, 0));
}
