// The host's reading of the request file, tested in-process.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <wchar.h>

#include "HostExitCode.h"
#include "HostRequestFile.h"
#include "ShadowTestSupport.h"

namespace {

const char *const kLines[] = {
    "C:\\Data\\VSSLog2.txt", "C:\\Data\\VSScom1.txt", "C:\\Data\\VSScom2.txt",
    "C:\\Data\\VSScom3.txt", "EF", "CD", "C:\\Data\\VSSLog.txt", "1", "0", "-1", "1",
};

std::string RequestText(int lines)
{
    std::string text;
    for (int i = 0; i < lines; i++)
        text += std::string(kLines[i]) + "\r\n";
    return text;
}

TEST(HostRequestFile, EachMissingLineHasItsExitCode)
{
    std::string path = MakeTempFolder("vss-request") + "VSScom1.txt";
    HostRequest request;
    EXPECT_EQ(ReadHostRequestFile(path.c_str(), &request), kHostNoRequestFile);
    for (int lines = 0; lines <= 11; lines++) {
        ASSERT_TRUE(WriteWholeFile(path, RequestText(lines)));
        int expected = lines == 11 ? 0 : 5 + lines;
        EXPECT_EQ(ReadHostRequestFile(path.c_str(), &request), expected) << lines << " lines";
    }
}

TEST(HostRequestFile, FillsTheBlockAndTrimsTrailingBlanks)
{
    std::string path = MakeTempFolder("vss-request-trim") + "VSScom1.txt";
    std::string text = "C:\\Data\\VSSLog2.txt \t \r\n"
                       "line two stays as it is  \n"
                       "C:\\Data\\VSScom2.txt\r\r\n"
                       "C:\\Data\\VSScom3.txt  \n"
                       "EF \n"
                       "CD\t\n"
                       "C:\\Data\\VSSLog.txt\n"
                       "1\n0\n-1\n1\n";
    ASSERT_TRUE(WriteWholeFile(path, text));
    HostRequest request;
    ASSERT_EQ(ReadHostRequestFile(path.c_str(), &request), 0);
    EXPECT_STREQ(request.ownLog, "C:\\Data\\VSSLog2.txt");
    EXPECT_STREQ(request.reply, "C:\\Data\\VSScom2.txt");
    EXPECT_STREQ(request.release, "C:\\Data\\VSScom3.txt");
    EXPECT_EQ(wcscmp(request.block.targetLetters, L"EF"), 0);
    EXPECT_EQ(wcscmp(request.block.sourceLetters, L"CD"), 0);
    EXPECT_EQ(wcscmp(request.block.logPath, L"C:\\Data\\VSSLog.txt"), 0);
    EXPECT_EQ(request.block.verbose, 1);
}

struct StartCase {
    const char *release;
    const char *status;
    const char *active;
};

TEST(HostRequestFile, BlockStartsPendingWhateverLinesNineToElevenHold)
{
    std::string path = MakeTempFolder("vss-request-start") + "VSScom1.txt";
    const StartCase cases[] = {
        {"0", "-1", "1"}, {"1", "0", "0"}, {"7", "3", "-5"}, {"x", "", "y"},
    };
    for (const StartCase &c : cases) {
        std::string text = RequestText(8) + c.release + "\n" + c.status + "\n" + c.active + "\n";
        ASSERT_TRUE(WriteWholeFile(path, text));
        HostRequest request;
        ASSERT_EQ(ReadHostRequestFile(path.c_str(), &request), 0);
        EXPECT_EQ(request.block.releaseRequest, 0);
        EXPECT_EQ(request.block.status, -1);
        EXPECT_EQ(request.block.active, 1);
    }
}

TEST(HostRequestFile, LongTextIsCutToItsField)
{
    std::string path = MakeTempFolder("vss-request-long") + "VSScom1.txt";
    std::string letters(100, 'E');
    std::string text = RequestText(4) + letters + "\n" + letters + "\n" + RequestText(11).substr(RequestText(6).size());
    ASSERT_TRUE(WriteWholeFile(path, text));
    HostRequest request;
    ASSERT_EQ(ReadHostRequestFile(path.c_str(), &request), 0);
    EXPECT_EQ(wcslen(request.block.targetLetters), 64u);
    EXPECT_EQ(wcslen(request.block.sourceLetters), 64u);
}

}  // namespace
