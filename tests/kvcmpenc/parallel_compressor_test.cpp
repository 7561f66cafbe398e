// Compressing an archive's entries in blocks on a pool of threads: blocks joined across their
// boundaries inflate to the file, noise is stored and text compressed, the CRC and size are the
// file's, and a file that cannot be read or a cancel stops the pool. Key derivation against
// published vectors.
#include <windows.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>
#include <algorithm>
#include <string>
#include <vector>

#include "BlockDeflater.h"
#include "ParallelCompressor.h"
#include "Pbkdf2Sha1.h"
#include "TestFiles.h"

namespace {

// Raw Inflate of a whole stream; fails unless the final block ends exactly at the end.
bool Inflate(const std::string &compressed, std::string *data)
{
    data->clear();
    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = (Bytef *)compressed.data();
    stream.avail_in = (uInt)compressed.size();
    char buffer[65536];
    int result;
    do {
        stream.next_out = (Bytef *)buffer;
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        data->append(buffer, sizeof buffer - stream.avail_out);
    } while (result == Z_OK);
    bool whole = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole;
}

size_t DeflateInOneStream(const std::string &data)
{
    z_stream stream = {};
    deflateInit2(&stream, NormalDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(BlockDeflater::OutputBound(data.size()), '\0');
    stream.next_in = (Bytef *)data.data();
    stream.avail_in = (uInt)data.size();
    stream.next_out = (Bytef *)&out[0];
    stream.avail_out = (uInt)out.size();
    deflate(&stream, Z_FINISH);
    size_t length = out.size() - stream.avail_out;
    deflateEnd(&stream);
    return length;
}

// Cuts data into blocks of blockSize, each with the 32 KB before it as its dictionary.
std::string DeflateInBlocks(BlockDeflater *deflater, const std::string &data, size_t blockSize)
{
    std::string joined;
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(data.data());
    size_t offset = 0;
    do {
        size_t length = std::min(blockSize, data.size() - offset);
        size_t dictionary = std::min(offset, DeflateWindowSize);
        std::vector<uint8_t> out(BlockDeflater::OutputBound(length));
        size_t written = 0;
        bool last = offset + length == data.size();
        EXPECT_TRUE(deflater->Deflate(bytes + offset - dictionary, dictionary, bytes + offset, length, last,
                                      out.data(), out.size(), &written));
        joined.append(reinterpret_cast<char *>(out.data()), written);
        offset += length;
    } while (offset < data.size());
    return joined;
}

// Reads one entry to its end as the ZIP library would; -1 when the compressor failed.
int64_t ReadWholeEntry(ParallelCompressor *compressor, int entry, ReadProgress *progress, std::string *data,
                       CompressorFailure *failure)
{
    data->clear();
    uint8_t buffer[8192];
    int64_t got;
    while ((got = compressor->ReadEntry(entry, buffer, sizeof buffer, progress, failure)) > 0)
        data->append(reinterpret_cast<char *>(buffer), (size_t)got);
    return got < 0 ? -1 : (int64_t)data->size();
}

// Writes the files and adds them as entries; a listed size of 0 stands for the file's own.
void WriteFiles(const ScratchFolder &folder, const std::vector<std::string> &contents,
                ParallelCompressor *compressor, const std::vector<uint64_t> &listedSizes = {})
{
    for (size_t i = 0; i < contents.size(); i++) {
        std::string path = folder / ("f" + std::to_string(i) + ".bin");
        EXPECT_TRUE(WriteWholeFile(path, contents[i]));
        InputFile file;
        file.path = std::wstring(path.begin(), path.end());
        file.size = i < listedSizes.size() && listedSizes[i] ? listedSizes[i] : contents[i].size();
        file.index = (int)i;
        compressor->AddEntry(file);
    }
}

// Reads every entry and checks it against the file: the inflated data, the CRC and the size.
void ExpectEntriesAreTheFiles(ParallelCompressor *compressor, const std::vector<std::string> &contents)
{
    volatile char cancel = 0;
    ReadProgress progress;
    progress.cancelFlag = &cancel;
    uint64_t total = 0;
    for (size_t i = 0; i < contents.size(); i++) {
        SCOPED_TRACE(i);
        std::string compressed, inflated;
        CompressorFailure failure;
        ASSERT_GE(ReadWholeEntry(compressor, (int)i, &progress, &compressed, &failure), 0);
        ASSERT_TRUE(Inflate(compressed, &inflated));
        EXPECT_TRUE(inflated == contents[i]);
        EXPECT_EQ(compressor->EntrySize(), contents[i].size());
        EXPECT_EQ(compressor->EntryCrc(),
                  (uint32_t)crc32(0, (const Bytef *)contents[i].data(), (uInt)contents[i].size()));
        total += contents[i].size();
    }
    EXPECT_EQ(progress.bytesDone, total);
    std::string more;
    CompressorFailure failure;
    EXPECT_EQ(ReadWholeEntry(compressor, (int)contents.size(), &progress, &more, &failure), -1);
}

// How many threads of this process run at the given priority.
int CountThreadsAtPriority(int priority)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread && GetThreadPriority(thread) == priority)
            count++;
        if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return count;
}

}  // namespace

TEST(BlockDeflater, BlocksJoinedAcrossTheirBoundariesInflateToTheWhole)
{
    struct Case {
        const char *name;
        std::string data;
        size_t blockSize;
        size_t slackPerMille;   // what the joins may cost against one stream
    } cases[] = {
        {"text", MakeText(700000, 1), 200000, 2},
        {"noise", MakeNoise(700000, 2), 200000, 2},
        {"noise then text in one block", MakeNoise(150000, 3) + MakeText(250000, 4), 300000, 2},
        {"a multiple of the block size", MakeText(600000, 5), 200000, 2},
        // Each block has Huffman tables of its own, which short blocks feel.
        {"blocks shorter than the window", MakeText(100000, 6), 10000, 15},
        {"empty", "", 200000, 0},
    };
    BlockDeflater deflater;
    ASSERT_TRUE(deflater.Init());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string joined = DeflateInBlocks(&deflater, c.data, c.blockSize);
        std::string inflated;
        ASSERT_TRUE(Inflate(joined, &inflated));
        EXPECT_EQ(inflated, c.data);
        // The dictionaries keep the joins nearly free.
        EXPECT_LE(joined.size(), DeflateInOneStream(c.data) * (1000 + c.slackPerMille) / 1000 + 64);
    }
}

TEST(BlockDeflater, StoresOnlyWhatNoSampleShrinks)
{
    std::string noiseWithText = MakeNoise(1 << 20, 7);
    noiseWithText.replace(300000, 70000, MakeText(70000, 8));   // covers the second sample
    struct Case {
        const char *name;
        std::string data;
        bool stored;
    } cases[] = {
        {"noise", MakeNoise(1 << 20, 9), true},
        {"text", MakeText(1 << 20, 10), false},
        {"zeros", std::string(1 << 20, '\0'), false},
        {"noise with text where one sample falls", noiseWithText, false},
        {"noise too short to probe", MakeNoise(100000, 11), false},
    };
    BlockDeflater deflater;
    ASSERT_TRUE(deflater.Init());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(c.data.data());
        EXPECT_EQ(deflater.LooksIncompressible(bytes, c.data.size()), c.stored);
        std::string joined = DeflateInBlocks(&deflater, c.data, c.data.size());
        if (c.stored) {   // stored blocks of at most 64 KB, five bytes of header each
            EXPECT_LE(joined.size(), c.data.size() + (c.data.size() / 65535 + 2) * 5);
        }
    }
}

TEST(Pbkdf2Sha1, MatchesPublishedVectors)
{
    struct Case {
        std::string password, salt;
        int rounds;
        const char *key;
    } cases[] = {
        {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
        // Longer than a hash block, so the key is hashed first; 66 bytes as the AES keys take.
        {std::string(100, 'x'), "0123456789abcdef", 1000,
         "d2a8db952a91dbbbf5f40c72ba4d3b24ded4ee22ec5e4c2c6ac5a426cc12b4e7fb253bd6c41beecf91de6b19fa60c967294a"
         "1081c95e0f18476be99f984cf0bdce03"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        std::vector<uint8_t> key(strlen(c.key) / 2);
        DerivePbkdf2Sha1(c.password.data(), c.password.size(), reinterpret_cast<const uint8_t *>(c.salt.data()), c.salt.size(), c.rounds,
                         key.data(), key.size());
        std::string hex;
        char digits[3];
        for (uint8_t byte : key) {
            snprintf(digits, sizeof digits, "%02x", byte);
            hex += digits;
        }
        EXPECT_EQ(hex, c.key);
    }
}

TEST(ParallelCompressor, EntriesCutIntoBlocksComeBackWholeInOrder)
{
    ScratchFolder folder("kvpool");
    const size_t block = 4096;
    std::vector<std::string> contents = {
        "", "x", MakeText(block - 1, 1), MakeText(block, 2), MakeText(block + 1, 3), MakeNoise(3 * block, 4),
        MakeText(50000, 5), MakeNoise(50001, 6), "", MakeText(20000, 7), MakeText(20000, 8), MakeText(20000, 9),
        MakeText(300, 10),
    };
    CompressorLimits limits;
    limits.blockSize = block;
    limits.threads = 3;
    volatile char cancel = 0;
    ParallelCompressor compressor("", &cancel, limits);
    // Entries 9 and 11 have grown and 10 has shrunk since they were listed: what counts is what is
    // read. Grown past what is read ahead, 11 stays open, and the small file after it is opened
    // by the reader.
    WriteFiles(folder, contents, &compressor, {0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 30000, 100});
    ASSERT_TRUE(compressor.Start());
    ExpectEntriesAreTheFiles(&compressor, contents);
}

TEST(ParallelCompressor, ManySmallFilesShareBlocks)
{
    ScratchFolder folder("kvpoolsmall");
    std::vector<std::string> contents;
    for (unsigned i = 0; i < 600; i++)
        contents.push_back(i % 3 ? MakeText(i % 50, i) : std::string());
    CompressorLimits limits;
    limits.blockSize = 65536;   // more files than a block takes pieces
    volatile char cancel = 0;
    ParallelCompressor compressor("", &cancel, limits);
    WriteFiles(folder, contents, &compressor);
    ASSERT_TRUE(compressor.Start());
    ExpectEntriesAreTheFiles(&compressor, contents);
}

TEST(ParallelCompressor, FileThatCannotBeOpenedStopsThePoolAndIsNamed)
{
    ScratchFolder folder("kvpoolgone");
    CompressorLimits limits;
    limits.blockSize = 4096;
    volatile char cancel = 0;
    ParallelCompressor compressor("", &cancel, limits);
    WriteFiles(folder, {MakeText(20000, 1), "gone", MakeText(20000, 2)}, &compressor);
    ASSERT_TRUE(DeleteFileA((folder / "f1.bin").c_str()));
    ASSERT_TRUE(compressor.Start());
    ReadProgress progress;
    std::string data;
    CompressorFailure failure;
    int64_t got = 0;
    for (int entry = 0; entry < 3 && got >= 0; entry++)
        got = ReadWholeEntry(&compressor, entry, &progress, &data, &failure);
    EXPECT_EQ(got, -1);
    EXPECT_EQ(failure.zipError, ZIP_ER_OPEN);
    EXPECT_EQ(failure.failedFile, 1);
    EXPECT_EQ(failure.systemError, (unsigned long)ERROR_FILE_NOT_FOUND);
}

// With a password one more thread encrypts behind the pool; it must stop with the others.
const char *const kPasswords[] = {"", "Secret \xe2\x82\xac 1"};

TEST(ParallelCompressor, CancelWhileThePoolRunsStopsItAtOnce)
{
    for (const char *password : kPasswords) {
        SCOPED_TRACE(password);
        ScratchFolder folder("kvpoolstop");
        CompressorLimits limits;
        limits.blockSize = 65536;
        limits.threads = 4;
        volatile char cancel = 0;
        ParallelCompressor compressor(password, &cancel, limits);
        WriteFiles(folder, {MakeText(4 << 20, 1), MakeText(4 << 20, 2)}, &compressor);
        ASSERT_TRUE(compressor.Start());
        ReadProgress progress;
        CompressorFailure failure;
        uint8_t buffer[8192];
        ASSERT_GT(compressor.ReadEntry(0, buffer, sizeof buffer, &progress, &failure), 0);
        cancel = 1;
        DWORD start = GetTickCount();
        int64_t got;
        while ((got = compressor.ReadEntry(0, buffer, sizeof buffer, &progress, &failure)) > 0) {
        }
        EXPECT_EQ(got, -1);
        EXPECT_EQ(failure.zipError, ZIP_ER_CANCELLED);
        EXPECT_LT(progress.bytesDone, 4u << 20);
        EXPECT_LT(GetTickCount() - start, 2000u);
    }
}

TEST(ParallelCompressor, EndedBeforeAnythingIsTakenLetsEveryThreadGo)
{
    for (const char *password : kPasswords) {
        SCOPED_TRACE(password);
        ScratchFolder folder("kvpoolunread");
        CompressorLimits limits;
        limits.blockSize = 4096;
        volatile char cancel = 0;
        {
            ParallelCompressor compressor(password, &cancel, limits);
            WriteFiles(folder, {MakeText(200000, 1), MakeNoise(100000, 2)}, &compressor);
            ASSERT_TRUE(compressor.Start());
            Sleep(100);   // the ring is full and every thread waits
        }
        SUCCEED();   // the destructor returned: no thread was left waiting
    }
}

TEST(ParallelCompressor, ThreadsRunAtThePriorityOfTheJob)
{
    ScratchFolder folder("kvpoolpriority");
    CompressorLimits limits;
    limits.blockSize = 65536;
    limits.threads = 3;
    volatile char cancel = 0;
    ParallelCompressor compressor("", &cancel, limits);
    ParallelCompressor encrypting("pw", &cancel, limits);
    WriteFiles(folder, {MakeText(1 << 20, 1)}, &compressor);
    WriteFiles(folder, {MakeText(1 << 20, 1)}, &encrypting);
    int before = CountThreadsAtPriority(THREAD_PRIORITY_LOWEST);
    ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST));
    bool started = compressor.Start() && encrypting.Start();
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    ASSERT_TRUE(started);
    Sleep(200);   // the threads wait for the library, which takes nothing yet
    // Three workers and the reader each, and the encrypting one's sealer.
    EXPECT_EQ(CountThreadsAtPriority(THREAD_PRIORITY_LOWEST) - before, 4 + 5);
}
