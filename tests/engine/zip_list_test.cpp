// The list writer of the ZIP step: each path once however its case is written, and for many
// files memory that grows with the paths' lengths, not a fixed slot per file.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>

#include "JobTestSupport.h"
#include "MsvcrtFormat.h"
#include "ZipStep.h"

namespace {

// One output of root C:\ listing into a file of the scratch folder.
struct ZipListWriter : ::testing::Test {
    void SetUp() override
    {
        context.zipOutputs = static_cast<ZipOutput *>(calloc(1, sizeof(ZipOutput)));
        context.zipOutputCount = 1;
        strcpy(context.zipOutputs[0].root, "C:\\");
        context.zipOutputs[0].listFile = _wfopen(listPath.c_str(), L"wt");
    }
    void TearDown() override { FreeZipOutputs(&context); }
    int Add(const wchar_t *path) { return AddToZipList(nullptr, path, &context, 0); }
    std::string List()
    {
        fclose(context.zipOutputs[0].listFile);
        context.zipOutputs[0].listFile = nullptr;
        return ReadTextFile(listPath);
    }
    ScratchFolder folder;
    std::wstring listPath = folder.Wide() + L"list.txt";
    JobContext context = {};
};

TEST_F(ZipListWriter, EachPathIsListedOnceIgnoringCase)
{
    const wchar_t *const paths[] = {
        L"C:\\Data\\report.txt", L"C:\\DATA\\REPORT.TXT", L"c:\\data\\Report.txt",
        L"C:\\Data\\report.txt ",  // another name
        L"C:\\Data\\sub\\report.txt", L"C:\\Data\\Sub\\REPORT.txt",
    };
    for (const wchar_t *path : paths)
        EXPECT_EQ(Add(path), 1) << path;
    EXPECT_EQ(context.zipOutputs[0].fileCount, 3);
    EXPECT_EQ(List(), "Data\\report.txt\r\nData\\report.txt \r\nData\\sub\\report.txt\r\n");
}

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

TEST_F(ZipListWriter, ManyPathsTakeMemoryThatGrowsWithTheirLengths)
{
    const int kFiles = 100000;
    size_t before = PrivateBytes();
    wchar_t path[MAX_PATH];
    for (int i = 0; i < kFiles; ++i) {
        FormatTextW(path, MAX_PATH, L"C:\\data\\folder%03d\\file%06d.txt", i % 1000, i);
        ASSERT_EQ(Add(path), 1);
        CharUpperW(path);  // the same path again, as a second source of the root reaches it
        ASSERT_EQ(Add(path), 1);
    }
    size_t grown = PrivateBytes() - before;
    EXPECT_EQ(context.zipOutputs[0].fileCount, kFiles);
    // A path of 32 characters takes 66 bytes as wide text; a slot of 1,024 characters, 2 KB.
    EXPECT_LT(grown / kFiles, 256u) << grown << " bytes for " << kFiles << " paths";
    std::string list = List();
    EXPECT_EQ(list.size(), kFiles * strlen("data\\folder000\\file000000.txt\r\n"));
    EXPECT_EQ(list.substr(list.size() - 31), "data\\folder999\\file099999.txt\r\n");
}

} // namespace
