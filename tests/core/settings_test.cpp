#include <gtest/gtest.h>

#include <string>

#include "CoreTestSupport.h"
#include "GlobalSettings.h"

namespace {

std::string SectionKey(const char *section)
{
    return std::string(kSettingsKeyRoot) + section;
}

void DeleteSettings()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Dorvane Software");
}

void SetRaw(const char *section, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SectionKey(section).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, (const BYTE *)data, size);
    RegCloseKey(key);
}

void SetText(const char *section, const char *name, const char *text)
{
    SetRaw(section, name, REG_SZ, text, (DWORD)strlen(text) + 1);
}

bool QueryRaw(const char *section, const char *name, DWORD *type, std::string *text)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SectionKey(section).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[512] = {};
    DWORD size = sizeof(buffer) - 1;
    LONG status = RegQueryValueExA(key, name, nullptr, type, (BYTE *)buffer, &size);
    RegCloseKey(key);
    *text = buffer;
    return status == ERROR_SUCCESS;
}

} // namespace

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettings();
        ResetGlobalSettings();
    }
    void TearDown() override
    {
        DeleteSettings();
        ResetGlobalSettings();
    }
    MessageBoxRecorder boxes;
};

TEST_F(SettingsTest, EmptyRegistryGivesTheDefaults)
{
    LoadGlobalSettings();
    const GlobalSettings &s = gSettings;
    EXPECT_EQ(s.positionX, -1);
    EXPECT_EQ(s.sizeY, -1);
    EXPECT_EQ(s.textColor, GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(s.backColor, GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(s.sortAscending, 1);
    EXPECT_EQ(s.sortColumn, 0);
    for (int i = 0; i < kJobColumnCount; ++i) {
        EXPECT_EQ(s.columnWidth[i], -1);
        EXPECT_EQ(s.columnShown[i], (i <= 5 || i == 7) ? 1 : 0) << i;
        EXPECT_EQ(s.columnOrder[i], i);
    }
    EXPECT_STREQ(s.programFolder, "c:\\");
    EXPECT_STREQ(s.combineFolder, "c:\\");
    const struct { int value, expected; const char *name; } ints[] = {
        {s.logCompression, 0, "log_compression"}, {s.logVerbose, 0, "log_verbose"},
        {s.askExit, 1, "askexit"}, {s.autoShowLog, 1, "auto_showlog"},
        {s.remoteRequiresEncryption, 1, "remote_requires_encryption"}, {s.weBurn, 1, "we_burn"},
        {s.emailRecvTimeout, 30, "email_recv_timeout"}, {s.emailSendTimeout, 30, "email_send_timeout"},
        {s.ftpRetry, 500, "ftp_retry"}, {s.smtpRetry, 20, "smtp_retry"},
        {s.warnBadExclusions, 1, "warn_bad_exclusions"}, {s.backupLocked, 1, "backup_locked"},
        {s.removeExcluded, 0, "remove_excluded"}, {s.inStartup, 0, "instartup"},
        {s.likeDriveTimeDelta, 0, "likedrive_timedelta"}, {s.jrOptions, 13, "jr_options"},
        {s.jrPort, 25, "jr_port"}, {s.jrEmailWhen, 1, "jr_emailwhen"}, {s.buttonSize, 0, "btnsize"},
        {s.newVersionFrequency, 7, "newversionfreq"}, {s.dialogSize, 8, "dlgsize"},
    };
    for (const auto &entry : ints)
        EXPECT_EQ(entry.value, entry.expected) << entry.name;
    EXPECT_STREQ(s.jrEmailTo, "");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(SettingsTest, DataFolderAndStorePath)
{
    LoadGlobalSettings();
    std::string folder = dataFolder;
    EXPECT_NE(folder.find("\\AppData\\Roaming\\Velloran\\"), std::string::npos) << folder;
    EXPECT_EQ(std::string(storePath), folder + "configs.vlr");
    EXPECT_EQ(GetFileAttributesA(dataFolder) & FILE_ATTRIBUTE_DIRECTORY, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(enableLua, 0) << "a fresh prefix stores EnableLUA as 0";
}

TEST_F(SettingsTest, SavedValuesAreTextAndReadBack)
{
    LoadGlobalSettings();
    gSettings.positionX = 120;
    gSettings.ftpRetry = 9;
    gSettings.columnOrder[0] = 1;
    gSettings.columnOrder[1] = 0;
    lstrcpyA(gSettings.jrServer, "smtp.example.org");
    lstrcpyA(gSettings.programFolder, "D:\\Tools\\");
    SaveGlobalSettings();

    DWORD type = 0;
    std::string text;
    ASSERT_TRUE(QueryRaw("windows", "positionX", &type, &text));
    EXPECT_EQ(type, (DWORD)REG_SZ);
    EXPECT_EQ(text, "120");
    ASSERT_TRUE(QueryRaw("list", "lvo0", &type, &text));
    EXPECT_EQ(text, "1");
    ASSERT_TRUE(QueryRaw("startup", "current_data_path", &type, &text));
    EXPECT_EQ(text, dataFolder);
    ASSERT_TRUE(QueryRaw("list", "listfont", &type, &text));
    EXPECT_EQ(type, (DWORD)REG_BINARY);
    EXPECT_FALSE(QueryRaw("options", "likedrive_timedelta", &type, &text));

    ResetGlobalSettings();
    LoadGlobalSettings();
    EXPECT_EQ(gSettings.positionX, 120);
    EXPECT_EQ(gSettings.ftpRetry, 9);
    EXPECT_EQ(gSettings.columnOrder[0], 1);
    EXPECT_STREQ(gSettings.jrServer, "smtp.example.org");
    EXPECT_STREQ(gSettings.programFolder, "D:\\Tools\\");
}

TEST_F(SettingsTest, KeysCarryTheirClass)
{
    ASSERT_EQ(WriteSettingString("misc", "cnv_year", "2025"), 1);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SectionKey("misc").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char className[64] = {};
    DWORD classSize = sizeof(className);
    RegQueryInfoKeyA(key, className, &classSize, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_STREQ(className, "Application Per-User Data");
    EXPECT_EQ(ReadSettingInt("misc", "cnv_year", 2023), 2025);
}

TEST_F(SettingsTest, BadColumnOrdersResetAllOrdersOnly)
{
    struct Case { int column, value, otherColumn, otherValue; };
    const Case cases[] = {{3, 25, -1, 0}, {3, -1, -1, 0}, {3, 7, 7, 7}};
    for (const Case &c : cases) {
        DeleteSettings();
        ResetGlobalSettings();
        char name[16];
        wsprintfA(name, "lvo%d", c.column);
        SetText("list", name, std::to_string(c.value).c_str());
        if (c.otherColumn >= 0) {
            wsprintfA(name, "lvo%d", c.otherColumn);
            SetText("list", name, std::to_string(c.otherValue).c_str());
        }
        SetText("list", "lvw4", "88");
        SetText("list", "lvd9", "1");
        LoadGlobalSettings();
        for (int i = 0; i < kJobColumnCount; ++i)
            EXPECT_EQ(gSettings.columnOrder[i], i) << c.column << "=" << c.value;
        EXPECT_EQ(gSettings.columnWidth[4], 88);
        EXPECT_EQ(gSettings.columnShown[9], 1);
    }
}

TEST_F(SettingsTest, CompressionLoggingIsOnOnlyForOne)
{
    SetText("options", "log_compression", "2");
    LoadGlobalSettings();
    EXPECT_EQ(gSettings.logCompression, 0);
    SaveGlobalSettings();
    DWORD type;
    std::string text;
    ASSERT_TRUE(QueryRaw("options", "log_compression", &type, &text));
    EXPECT_EQ(text, "0");
    SetText("options", "log_compression", "1");
    LoadGlobalSettings();
    EXPECT_EQ(gSettings.logCompression, 1);
}

TEST_F(SettingsTest, LikeDriveDeltaIsReadButNeverWritten)
{
    SetText("options", "likedrive_timedelta", "20000000");
    LoadGlobalSettings();
    EXPECT_EQ(gSettings.likeDriveTimeDelta, 20000000);
    DeleteSettings();
    SaveGlobalSettings();
    DWORD type;
    std::string text;
    EXPECT_FALSE(QueryRaw("options", "likedrive_timedelta", &type, &text));
}

TEST_F(SettingsTest, ReadSettingStringFallsBackAtTheLimits)
{
    char buffer[8];
    // Fits with its terminator: read.
    SetText("dirloc", "fits", "1234567");
    EXPECT_EQ(ReadSettingString("dirloc", "fits", buffer, "def", sizeof(buffer)), 1);
    EXPECT_STREQ(buffer, "1234567");
    // One character too long: the default.
    SetText("dirloc", "long", "12345678");
    EXPECT_EQ(ReadSettingString("dirloc", "long", buffer, "def", sizeof(buffer)), 1);
    EXPECT_STREQ(buffer, "def");
    // Missing, and a default as long as the buffer: unchanged, 0.
    lstrcpyA(buffer, "keep");
    EXPECT_EQ(ReadSettingString("dirloc", "missing", buffer, "12345678", sizeof(buffer)), 0);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(ReadSettingString("dirloc", "missing", buffer, "1234567", sizeof(buffer)), 1);
    EXPECT_STREQ(buffer, "1234567");
}

TEST_F(SettingsTest, UnterminatedValuesAreTerminatedOrRefused)
{
    char buffer[8];
    SetRaw("dirloc", "full", REG_BINARY, "ABCDEFGH", 8); // fills the buffer, no terminator
    EXPECT_EQ(ReadSettingString("dirloc", "full", buffer, "def", sizeof(buffer)), 1);
    EXPECT_STREQ(buffer, "def");
    SetRaw("dirloc", "short", REG_BINARY, "ABC", 3);
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(ReadSettingString("dirloc", "short", buffer, "def", sizeof(buffer)), 1);
    EXPECT_STREQ(buffer, "ABC");
}

TEST_F(SettingsTest, NonNumericIntegerKeepsTheDefault)
{
    SetText("options", "ftp_retry", "lots");
    SetText("options", "smtp_retry", "  42");
    EXPECT_EQ(ReadSettingInt("options", "ftp_retry", 500), 500);
    EXPECT_EQ(ReadSettingInt("options", "smtp_retry", 20), 42);
}

TEST_F(SettingsTest, ListFontRoundTripNeedsTheFullValue)
{
    ZeroMemory(&listFont, sizeof(listFont));
    listFont.lfHeight = -13;
    lstrcpyA(listFont.lfFaceName, "Tahoma");
    ASSERT_EQ(WriteListFont(), 1);
    ZeroMemory(&listFont, sizeof(listFont));
    ReadListFont();
    EXPECT_EQ(listFont.lfHeight, -13);
    EXPECT_STREQ(listFont.lfFaceName, "Tahoma");

    SetRaw("list", "listfont", REG_BINARY, "short", 5);
    ReadListFont();
    EXPECT_STREQ(listFont.lfFaceName, "Tahoma") << "a short value leaves the font as it was";
}
