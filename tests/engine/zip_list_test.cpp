// The list writer of the ZIP step: each path once however its case is written, and, for a tree
// of many files, memory that grows with the paths' lengths (not a fixed slot per file) and a
// look-up that does not scan the paths already listed.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "JobTestSupport.h"
#include "MsvcrtFormat.h"
#include "ZipStep.h"

namespace {

// One output of a job's context, listing into a file of the scratch folder.
class ListingContext {
public:
    ListingContext()
    {
        listPath = folder.Wide() + L"list.txt";
        context.zipOutputs = static_cast<ZipOutput *>(calloc(1, sizeof(ZipOutput)));
        context.zipOutputCount = 1;
        strcpy(context.zipOutputs[0].root, "C:\\");
        context.zipOutputs[0].listFile = _wfopen(listPath.c_str(), L"wt");
        log = _wfopen((folder.Wide() + L"log.txt").c_str(), L"wt");
    }
    ~ListingContext()
    {
        Close();
        FreeZipOutputs(&context);
    }
    int Add(const std::wstring &path) { return AddToZipList(log, path.c_str(), &context, 0); }
    void Close()
    {
        if (context.zipOutputs[0].listFile != nullptr)
            fclose(context.zipOutputs[0].listFile);
        context.zipOutputs[0].listFile = nullptr;
        if (log != nullptr)
            fclose(log);
        log = nullptr;
    }
    const ZipOutput &Output() const { return context.zipOutputs[0]; }

    ScratchFolder folder;
    std::wstring listPath;
    JobContext context = {};
    FILE *log = nullptr;
};

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

TEST(ZipListWriter, EachPathIsListedOnceIgnoringCase)
{
    struct Case {
        const wchar_t *path;
        const char *line;  // what the list gains, or nullptr when the path was listed before
    };
    const Case cases[] = {
        {L"C:\\Data\\report.txt", "Data\\report.txt"},
        {L"C:\\DATA\\REPORT.TXT", nullptr},
        {L"c:\\data\\Report.txt", nullptr},
        {L"C:\\Data\\report.txt ", "Data\\report.txt "},   // a different name
        {L"C:\\Data\\report.tx", "Data\\report.tx"},
        {L"C:\\Data\\sub\\report.txt", "Data\\sub\\report.txt"},
        {L"C:\\Data\\\u5831\u544a.txt", "Data\\\xe5\xa0\xb1\xe5\x91\x8a.txt"},
        {L"C:\\Data\\\u5831\u544a.txt", nullptr},
        {L"C:\\Data\\Sub\\REPORT.txt", nullptr},
    };
    ListingContext listing;
    std::string expected;
    int count = 0;
    for (const Case &c : cases) {
        EXPECT_EQ(listing.Add(c.path), 1);
        if (c.line != nullptr) {
            expected += std::string(c.line) + "\r\n";
            ++count;
        }
        EXPECT_EQ(listing.Output().fileCount, count);
    }
    listing.Close();
    EXPECT_EQ(ReadTextFile(listing.listPath), expected);
}

TEST(ZipListWriter, ManyPathsTakeMemoryThatGrowsWithTheirLengths)
{
    const int kFiles = 100000;
    ListingContext listing;
    size_t before = PrivateBytes();
    wchar_t path[MAX_PATH];
    for (int i = 0; i < kFiles; ++i) {
        FormatTextW(path, MAX_PATH, L"C:\\data\\folder%03d\\file%06d.txt", i % 1000, i);
        ASSERT_EQ(listing.Add(path), 1);
        // The same path again, as a second source of the same root reaches it.
        CharUpperW(path);
        ASSERT_EQ(listing.Add(path), 1);
    }
    size_t grown = PrivateBytes() - before;
    EXPECT_EQ(listing.Output().fileCount, kFiles);
    // Each path has 32 characters: 66 bytes as wide text. A fixed slot of 1,024 characters
    // would take 2 KB a file.
    EXPECT_LT(grown / kFiles, 256u) << grown << " bytes for " << kFiles << " paths";
    listing.Close();
    std::vector<std::string> lines = SplitLines(ReadTextFile(listing.listPath));
    ASSERT_EQ(lines.size(), (size_t)kFiles);
    EXPECT_EQ(lines.front(), "data\\folder000\\file000000.txt");
    EXPECT_EQ(lines.back(), "data\\folder999\\file099999.txt");
}

} // namespace
