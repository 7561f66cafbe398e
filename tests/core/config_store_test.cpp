#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AllocationSeam.h"
#include "ConfigRecordFormat.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "CoreTestSupport.h"
#include "GlobalSettings.h"
#include "resource.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void PutInt(Bytes &b, size_t offset, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        b[offset + i] = (unsigned char)((uint32_t)value >> (8 * i));
}

void PutText(Bytes &b, size_t offset, const char *text)
{
    memcpy(&b[offset], text, strlen(text));
}

Bytes Header(int version, int count, int lastId, unsigned char byte3 = 0)
{
    Bytes b(16, 0);
    memcpy(&b[0], "vlr", 3);
    b[3] = byte3;
    PutInt(b, 4, version);
    PutInt(b, 8, count);
    PutInt(b, 12, lastId);
    return b;
}

// A stored record of the given version's size with its main fields set by offset.
Bytes StoredRecord(size_t size, int id, const char *description, int sources, int extensions,
                   int excluded)
{
    Bytes r(size, 0);
    PutText(r, 0, description);
    PutText(r, 128, "D:\\bk\\[[YEAR]]");
    PutInt(r, 668, 0x4F);
    PutInt(r, 672, 5);
    PutInt(r, 1528, sources);
    PutInt(r, 1532, 0x12345678); // a pointer slot of the writer
    PutInt(r, 1540, extensions);
    PutInt(r, 1548, excluded);
    PutInt(r, 1556, 1); // running when written
    PutInt(r, 2092, 1234);
    PutText(r, 2100, "ftp.example.org");
    PutInt(r, 3388, 587);
    PutInt(r, 4512, 2121);
    PutInt(r, 4528, id);
    if (size > 4532) {
        PutInt(r, 4532, 2);
        PutInt(r, 4536, 3);
        PutInt(r, 4540, 0x2A);
        PutInt(r, 4544, 6);
        PutInt(r, 4548, 45);
    }
    if (size > 4552)
        PutText(r, 4552, "some notes");
    return r;
}

Bytes SourceEntry(size_t size, const char *path, double bytes, int files)
{
    Bytes e(size, 0);
    PutText(e, 0, path);
    size_t pathSize = size == kSourceEntrySizeV3 ? 1024 : 260;
    size_t bytesAt = size == kSourceEntrySizeV3 ? 1032 : 264;
    PutInt(e, pathSize, 1);
    memcpy(&e[bytesAt], &bytes, 8);
    PutInt(e, bytesAt + 8, files);
    return e;
}

Bytes Entry(size_t size, const char *text)
{
    Bytes e(size, 0);
    PutText(e, 0, text);
    return e;
}

void Append(Bytes &to, const Bytes &more)
{
    to.insert(to.end(), more.begin(), more.end());
}

// One record of the version with two sources, one extension and one excluded item.
Bytes StoreOfVersion(int version, unsigned char byte3 = 0)
{
    size_t recordSize = version == 3 ? kRecordSizeV3 : version == 2 ? kRecordSizeV2 : kRecordSizeV1;
    size_t sourceSize = version == 3 ? kSourceEntrySizeV3 : kSourceEntrySizeOld;
    size_t excludedSize = version == 3 ? kExcludedEntrySizeV3 : kExcludedEntrySizeOld;
    Bytes file = Header(version, 1, 9, byte3);
    Append(file, StoredRecord(recordSize, 9, "Documents", 2, 1, 1));
    Append(file, SourceEntry(sourceSize, "C:\\Users\\me\\Documents\\", 4096.5, 12));
    Append(file, SourceEntry(sourceSize, "C:\\notes.txt", 10, 1));
    Append(file, Entry(8, "tmp"));
    Append(file, Entry(excludedSize, "C:\\Users\\me\\Documents\\Cache\\"));
    return file;
}

} // namespace

class ConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearConfigTable();
        configTable.lastUniqueId = 0;
        lstrcpyA(storePath, (folder.path + "configs.vlr").c_str());
        memcpy(storeHeader, "vlr\0\3\0\0\0", 8);
    }
    void TearDown() override { ClearConfigTable(); }

    void WriteStore(const Bytes &bytes)
    {
        std::ofstream out(storePath, std::ios::binary | std::ios::trunc);
        out.write((const char *)bytes.data(), (std::streamsize)bytes.size());
    }
    Bytes ReadStore()
    {
        std::ifstream in(storePath, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    ScratchFolder folder;
};

TEST_F(ConfigStoreTest, MissingFileGivesEmptyStoreSilently)
{
    MessageBoxRecorder boxes;
    EXPECT_EQ(LoadConfigStore(nullptr), 1);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(configTable.configCount, 0);
    Bytes stored = ReadStore();
    EXPECT_EQ(stored, Header(3, 0, 0));
}

TEST_F(ConfigStoreTest, VersionThreeRoundTripIsByteExact)
{
    Bytes original = StoreOfVersion(3, 0x5A);
    WriteStore(original);
    MessageBoxRecorder boxes;
    ASSERT_EQ(LoadConfigStore(nullptr), 1);
    ASSERT_EQ(configTable.configCount, 1);
    const BackupConfig *c = ConfigAt(0);
    EXPECT_STREQ(c->description, "Documents");
    EXPECT_STREQ(c->destination, "D:\\bk\\[[YEAR]]");
    EXPECT_EQ(c->flags, 0x4Fu);
    EXPECT_EQ(c->smtpPort, 587);
    EXPECT_EQ(c->ftpPort, 2121);
    EXPECT_EQ(c->scheduleDayMask, 0x2A);
    EXPECT_STREQ(c->notes, "some notes");
    EXPECT_STREQ(c->sources[0].path, "C:\\Users\\me\\Documents\\");
    EXPECT_DOUBLE_EQ(c->sources[0].totalBytes, 4096.5);
    EXPECT_EQ(c->sources[0].fileCount, 12);
    EXPECT_STREQ(c->extensions[0], "tmp");
    EXPECT_STREQ(c->excludedItems[0], "C:\\Users\\me\\Documents\\Cache\\");
    EXPECT_EQ(ReadStore(), original) << "a version-3 store is not rewritten on loading";

    // Saving writes the same bytes, except the pointer slots, which hold this program's
    // pointers; the run-time fields are written as held.
    ASSERT_EQ(SaveConfigStore(nullptr), 1);
    Bytes saved = ReadStore();
    ASSERT_EQ(saved.size(), original.size());
    for (size_t slot : {1532u, 1544u, 1552u})
        for (size_t i = 0; i < 4; ++i)
            saved[16 + slot + i] = original[16 + slot + i];
    EXPECT_EQ(saved, original);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConfigStoreTest, EmptyTableIsSixteenBytes)
{
    ASSERT_EQ(CreateEmptyConfigStore(nullptr), 1);
    EXPECT_EQ(ReadStore().size(), 16u);
    EXPECT_EQ(configTable.lastUniqueId, 0);
}

TEST_F(ConfigStoreTest, VersionOneIsUpgradedWithScheduleDefaults)
{
    WriteStore(StoreOfVersion(1, 7));
    MessageBoxRecorder boxes;
    ASSERT_EQ(LoadConfigStore(nullptr), 1);
    ASSERT_EQ(configTable.configCount, 1);
    const BackupConfig *c = ConfigAt(0);
    EXPECT_EQ(c->uniqueId, 9);
    EXPECT_EQ(c->scheduleKind, 0);
    EXPECT_EQ(c->scheduleEveryDays, 1);
    EXPECT_EQ(c->scheduleDayMask, 0);
    EXPECT_EQ(c->scheduleHour, 17);
    EXPECT_EQ(c->scheduleMinute, 0);
    EXPECT_STREQ(c->notes, "");
    EXPECT_STREQ(c->sources[1].path, "C:\\notes.txt");
    EXPECT_DOUBLE_EQ(c->sources[0].totalBytes, 4096.5);
    EXPECT_STREQ(c->excludedItems[0], "C:\\Users\\me\\Documents\\Cache\\");

    Bytes upgraded = ReadStore();
    ASSERT_EQ(upgraded.size(), 16 + kRecordSizeV3 + 2 * kSourceEntrySizeV3 + 8 + kExcludedEntrySizeV3);
    EXPECT_EQ(upgraded[3], 7) << "byte 3 is written back as read";
    EXPECT_EQ(upgraded[4], 3);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ConfigStoreTest, VersionTwoKeepsItsScheduleAndGetsEmptyNotes)
{
    WriteStore(StoreOfVersion(2));
    ASSERT_EQ(LoadConfigStore(nullptr), 1);
    const BackupConfig *c = ConfigAt(0);
    EXPECT_EQ(c->scheduleKind, 2);
    EXPECT_EQ(c->scheduleEveryDays, 3);
    EXPECT_EQ(c->scheduleDayMask, 0x2A);
    EXPECT_EQ(c->scheduleHour, 6);
    EXPECT_EQ(c->scheduleMinute, 45);
    EXPECT_STREQ(c->notes, "");
    EXPECT_EQ(ReadStore()[4], 3);
}

TEST_F(ConfigStoreTest, OlderVersionIsKeptBesideTheStoreBeforeItIsConverted)
{
    // A version word flipped from 3 to 1 loads records that say something else: the file as it
    // was must stay beside the store, so that the conversion can be undone by hand.
    Bytes flipped = StoreOfVersion(3);
    PutInt(flipped, 4, 1);
    struct Case {
        Bytes file;
        const char *keptAs;
    };
    const Case cases[] = {
        {StoreOfVersion(1), "_v1"},
        {StoreOfVersion(2), "_v2"},
        {flipped, "_v1"},
    };
    for (const Case &c : cases) {
        std::string kept = std::string(storePath) + c.keptAs;
        DeleteFileA(kept.c_str());
        WriteStore(c.file);
        MessageBoxRecorder boxes(IDNO);
        LoadConfigStore(nullptr);
        std::ifstream in(kept, std::ios::binary);
        EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) == c.file) << c.keptAs;
    }

    // Where the copy cannot be made, the file is not converted.
    Bytes old = StoreOfVersion(1);
    WriteStore(old);
    std::string blocked = std::string(storePath) + "_v1";
    DeleteFileA(blocked.c_str());
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    MessageBoxRecorder boxes;
    EXPECT_EQ(LoadConfigStore(nullptr), 0);
    RemoveDirectoryA(blocked.c_str());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find(blocked), std::string::npos);
    EXPECT_EQ(ReadStore(), old);
}

TEST_F(ConfigStoreTest, OldPathsWithoutTerminatorAreCut)
{
    Bytes file = Header(2, 1, 1);
    Append(file, StoredRecord(kRecordSizeV2, 1, "x", 1, 0, 1));
    Bytes source(kSourceEntrySizeOld, 0);
    memset(&source[0], 'a', 260);
    Append(file, source);
    Append(file, Bytes(kExcludedEntrySizeOld, 'b'));
    WriteStore(file);
    ASSERT_EQ(LoadConfigStore(nullptr), 1);
    EXPECT_EQ(strlen(ConfigAt(0)->sources[0].path), 259u);
    EXPECT_EQ(strlen(ConfigAt(0)->excludedItems[0]), 259u);
}

TEST_F(ConfigStoreTest, TextFieldsAreTerminatedInsideTheirArrays)
{
    Bytes file = Header(3, 1, 1);
    Bytes record = StoredRecord(kRecordSizeV3, 1, "", 0, 1, 0);
    memset(&record[0], 'd', 128);          // description without terminator
    memset(&record[4552], 'n', 4096);      // notes without terminator
    Append(file, record);
    Append(file, Bytes(8, 'e'));
    WriteStore(file);
    ASSERT_EQ(LoadConfigStore(nullptr), 1);
    EXPECT_EQ(strlen(ConfigAt(0)->description), 127u);
    EXPECT_EQ(strlen(ConfigAt(0)->notes), 4095u);
    EXPECT_EQ(strlen(ConfigAt(0)->extensions[0]), 7u);
}

TEST_F(ConfigStoreTest, LastUniqueIdIsNeverBelowAStoredId)
{
    Bytes file = Header(3, 1, 2);
    Append(file, StoredRecord(kRecordSizeV3, 30, "x", 0, 0, 0));
    WriteStore(file);
    ASSERT_EQ(LoadConfigStore(nullptr), 1);
    EXPECT_EQ(configTable.lastUniqueId, 30);
}

TEST_F(ConfigStoreTest, UnknownVersionAnsweredNoLeavesTheFile)
{
    Bytes file = Header(4, 0, 0);
    WriteStore(file);
    MessageBoxRecorder boxes(IDNO);
    EXPECT_EQ(LoadConfigStore(nullptr), 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("Data file has an unknown version number.", 0), 0u);
    EXPECT_EQ(boxes.boxes[0].caption, "Velloran");
    EXPECT_EQ(boxes.boxes[0].type, (UINT)(MB_YESNO | MB_ICONWARNING));
    EXPECT_EQ(ReadStore(), file);
}

TEST_F(ConfigStoreTest, UnknownVersionAnsweredYesGivesEmptyStore)
{
    WriteStore(Header(4, 3, 8));
    MessageBoxRecorder boxes(IDYES);
    EXPECT_EQ(LoadConfigStore(nullptr), 1);
    EXPECT_EQ(ReadStore(), Header(3, 0, 0));
    EXPECT_FALSE(Exists(std::string(storePath) + "_org"));
}

// Every cut of a valid file, from the header to the last array byte, is a corrupt store.
TEST_F(ConfigStoreTest, EveryTruncationAsksTheCorruptQuestion)
{
    Bytes full = StoreOfVersion(3);
    const size_t arrays = 16 + kRecordSizeV3;
    const size_t cuts[] = {0, 2, 7, 8, 15, 16, 17, arrays - 1, arrays, arrays + 1,
                           arrays + kSourceEntrySizeV3, arrays + 2 * kSourceEntrySizeV3 + 4,
                           arrays + 2 * kSourceEntrySizeV3 + 8, full.size() - 1};
    for (size_t cut : cuts) {
        WriteStore(Bytes(full.begin(), full.begin() + (long)cut));
        MessageBoxRecorder boxes(IDNO);
        EXPECT_EQ(LoadConfigStore(nullptr), 0) << cut;
        ASSERT_EQ(boxes.boxes.size(), 1u) << cut;
        EXPECT_EQ(boxes.boxes[0].text.rfind("Configuration data file corrupt.", 0), 0u) << cut;
    }
}

TEST_F(ConfigStoreTest, ImpossibleCountsAreCorruptNotAllocated)
{
    struct Case { int configCount; int sourceCount; };
    const Case cases[] = {{-1, 0}, {0x7FFFFFFF, 0}, {1, 0x7FFFFFFF}, {1, 2}};
    for (const Case &c : cases) {
        Bytes file = Header(3, c.configCount, 1);
        Append(file, StoredRecord(kRecordSizeV3, 1, "x", c.sourceCount, 0, 0));
        Append(file, SourceEntry(kSourceEntrySizeV3, "C:\\a\\", 1, 1)); // one entry only
        WriteStore(file);
        MessageBoxRecorder boxes(IDNO);
        EXPECT_EQ(LoadConfigStore(nullptr), 0) << c.configCount << " " << c.sourceCount;
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text.rfind("Configuration data file corrupt.", 0), 0u);
    }
}

// A negative array count has no entries in the file: the record loads without them and the
// next record's arrays are read from where they are.
TEST_F(ConfigStoreTest, NegativeArrayCountsContributeNothing)
{
    struct Case { int sources, extensions, excluded; };
    const Case cases[] = {{-5, 0, 0}, {0, -1, 0}, {0, 0, INT32_MIN}, {-1, -1, -1}};
    for (int version : {3, 1}) {
        size_t recordSize = version == 3 ? kRecordSizeV3 : kRecordSizeV1;
        size_t sourceSize = version == 3 ? kSourceEntrySizeV3 : kSourceEntrySizeOld;
        size_t excludedSize = version == 3 ? kExcludedEntrySizeV3 : kExcludedEntrySizeOld;
        for (const Case &c : cases) {
            Bytes file = Header(version, 2, 2);
            Append(file, StoredRecord(recordSize, 1, "Negative", c.sources, c.extensions, c.excluded));
            Append(file, StoredRecord(recordSize, 2, "After", 1, 1, 1));
            Append(file, SourceEntry(sourceSize, "C:\\After\\", 5, 1));
            Append(file, Entry(8, "bak"));
            Append(file, Entry(excludedSize, "C:\\After\\Cache\\"));
            WriteStore(file);
            MessageBoxRecorder boxes;
            ASSERT_EQ(LoadConfigStore(nullptr), 1) << version << " " << c.sources << " " << c.extensions;
            EXPECT_TRUE(boxes.boxes.empty());
            ASSERT_EQ(configTable.configCount, 2);
            const BackupConfig *negative = ConfigAt(0), *after = ConfigAt(1);
            EXPECT_EQ(negative->sourceCount + negative->extensionCount + negative->excludedCount, 0);
            EXPECT_STREQ(after->sources[0].path, "C:\\After\\");
            EXPECT_STREQ(after->extensions[0], "bak");
            EXPECT_STREQ(after->excludedItems[0], "C:\\After\\Cache\\");
        }
    }
}

TEST_F(ConfigStoreTest, CorruptAnsweredYesReplacesTheStore)
{
    WriteStore(Bytes{'x', 'y', 'z', 0, 3, 0, 0, 0});
    configTable.lastUniqueId = 12;
    MessageBoxRecorder boxes(IDYES);
    EXPECT_EQ(LoadConfigStore(nullptr), 1);
    EXPECT_EQ(configTable.lastUniqueId, 0);
    EXPECT_EQ(ReadStore(), Header(3, 0, 0));
}

TEST_F(ConfigStoreTest, LockedStoreIsNeitherReplacedNorUsed)
{
    Bytes original = StoreOfVersion(3);
    WriteStore(original);
    HANDLE lock = CreateFileA(storePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    MessageBoxRecorder boxes;
    EXPECT_EQ(LoadConfigStore(nullptr), 0);
    CloseHandle(lock);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find(storePath), std::string::npos);
    EXPECT_EQ(ReadStore(), original);
}

TEST_F(ConfigStoreTest, SaveGoesThroughATemporaryFile)
{
    BackupConfig *config = new BackupConfig();
    config->uniqueId = 3;
    lstrcpyA(config->description, "Photos");
    ASSERT_EQ(AppendConfig(config), 1);
    delete config;
    ASSERT_EQ(SaveConfigStore(nullptr), 1);
    char temp[280];
    GetStoreTempPath(temp, sizeof(temp));
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(ReadStore().size(), 16 + kRecordSizeV3);
}

TEST_F(ConfigStoreTest, StoreThatCannotBeReplacedKeepsItsContents)
{
    Bytes original = Header(3, 0, 5);
    WriteStore(original);
    SetFileAttributesA(storePath, FILE_ATTRIBUTE_READONLY);
    BackupConfig *config = new BackupConfig();
    ASSERT_EQ(AppendConfig(config), 1);
    delete config;
    MessageBoxRecorder boxes;
    EXPECT_EQ(SaveConfigStore(nullptr), 0);
    SetFileAttributesA(storePath, FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, "Error, unable to open configuration data file for writing");
    EXPECT_EQ(boxes.boxes[1].text,
              std::string("Please make sure the following file is not marked Read-Only:\n\n") + storePath);
    EXPECT_EQ(boxes.boxes[1].type, (UINT)MB_OK);
    EXPECT_EQ(ReadStore(), original);
    char temp[280];
    GetStoreTempPath(temp, sizeof(temp));
    EXPECT_FALSE(Exists(temp));
}

TEST_F(ConfigStoreTest, NoMemoryWhileLoadingEndsWithoutTouchingTheTable)
{
    BackupConfig *kept = new BackupConfig();
    kept->uniqueId = 77;
    ASSERT_EQ(AppendConfig(kept), 1);
    delete kept;
    Bytes original = StoreOfVersion(3);
    WriteStore(original);
    for (int nth = 1; nth <= 4; ++nth) {
        MessageBoxRecorder boxes;
        FailAllocationForTesting(nth);
        EXPECT_EQ(LoadConfigStore(nullptr), 0) << nth;
        FailAllocationForTesting(0);
        ASSERT_EQ(boxes.boxes.size(), 1u) << nth;
        EXPECT_EQ(boxes.boxes[0].text, "Error: Unable to allocate memory");
        ASSERT_EQ(configTable.configCount, 1);
        EXPECT_EQ(ConfigAt(0)->uniqueId, 77);
        EXPECT_EQ(ReadStore(), original);
    }
}
