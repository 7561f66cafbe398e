#include "GlobalSettings.h"

#include <shlobj.h>
#include <string.h>

#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

GlobalSettings gSettings;
char dataFolder[260];
char storePath[260];
int enableLua = 1;
LOGFONTA listFont;
HFONT listFontHandle;
void (*syncJobListSettings)() = nullptr;

static GlobalSettings MakeDefaults()
{
    GlobalSettings s;
    ZeroMemory(&s, sizeof(s));
    s.positionX = s.positionY = s.sizeX = s.sizeY = -1;
    s.textColor = GetSysColor(COLOR_WINDOWTEXT);
    s.backColor = GetSysColor(COLOR_WINDOW);
    s.sortAscending = 1;
    for (int i = 0; i < kJobColumnCount; ++i) {
        s.columnWidth[i] = -1;
        s.columnShown[i] = (i <= 5 || i == 7) ? 1 : 0;
        s.columnOrder[i] = i;
    }
    lstrcpyA(s.programFolder, "c:\\");
    lstrcpyA(s.combineFolder, "c:\\");
    s.askExit = 1;
    s.autoShowLog = 1;
    s.remoteRequiresEncryption = 1;
    s.weBurn = 1;
    s.emailRecvTimeout = 30;
    s.emailSendTimeout = 30;
    s.ftpRetry = 500;
    s.smtpRetry = 20;
    s.warnBadExclusions = 1;
    s.backupLocked = 1;
    s.jrOptions = 13;
    s.jrPort = 25;
    s.jrEmailWhen = 1;
    s.newVersionFrequency = 7;
    s.dialogSize = 8;
    return s;
}

void ResetGlobalSettings()
{
    gSettings = MakeDefaults();
}

static struct DefaultsAtStart {
    DefaultsAtStart() { ResetGlobalSettings(); }
} defaultsAtStart;

static void ShowStartupError(const char *text)
{
    ShowMessageBox(GetDesktopWindow(), text, kProductName, MB_ICONWARNING);
}

void LocateDataFolder()
{
    char folder[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                         folder) != S_OK) {
        ShowStartupError("ERROR: Unable to locate Application Data folder");
        lstrcpyA(dataFolder, "C:\\");
    } else {
        size_t length = strlen(folder);
        const char *separator = (length > 0 && folder[length - 1] == '\\') ? "" : "\\";
        FormatText(dataFolder, sizeof(dataFolder), "%s%s%s", folder, separator, kProductName);
        char current[MAX_PATH];
        DWORD hadCurrent = GetCurrentDirectoryA(sizeof(current), current);
        if (!SetCurrentDirectoryA(dataFolder) && !CreateDirectoryA(dataFolder, nullptr))
            ShowStartupError("ERROR: Unable to create data folder.");
        if (hadCurrent > 0 && hadCurrent < sizeof(current))
            SetCurrentDirectoryA(current);
        size_t folderLength = strlen(dataFolder);
        if (folderLength + 1 < sizeof(dataFolder))
            lstrcatA(dataFolder, "\\");
    }
    FormatText(storePath, sizeof(storePath), "%sconfigs.vlr", dataFolder);
}

int ReadEnableLua()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    DWORD value = 1;
    DWORD size = sizeof(value);
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, "EnableLUA", nullptr, &type, (BYTE *)&value, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size != sizeof(value))
        return 1;
    return value == 0 ? 0 : 1;
}

static void ReadInt(const char *section, const char *name, int *value)
{
    *value = ReadSettingInt(section, name, *value);
}

static void ReadIndexedInts(const char *format, int *values)
{
    char name[16];
    for (int i = 0; i < kJobColumnCount; ++i) {
        FormatText(name, sizeof(name), format, i);
        ReadInt("list", name, &values[i]);
    }
}

// A column order that is not a permutation of 0-21 is replaced by 0-21.
static void RepairColumnOrder(int *order)
{
    bool seen[kJobColumnCount] = {};
    bool valid = true;
    for (int i = 0; i < kJobColumnCount && valid; ++i) {
        valid = order[i] >= 0 && order[i] < kJobColumnCount && !seen[order[i]];
        if (valid)
            seen[order[i]] = true;
    }
    if (!valid)
        for (int i = 0; i < kJobColumnCount; ++i)
            order[i] = i;
}

static void ReadText(const char *section, const char *name, char *buffer, DWORD size)
{
    // The current text is the default; it is copied first because the read may overwrite it.
    char current[260];
    lstrcpynA(current, buffer, sizeof(current));
    ReadSettingString(section, name, buffer, current, size);
}

void LoadGlobalSettings()
{
    LocateDataFolder();
    enableLua = ReadEnableLua();

    GlobalSettings &s = gSettings;
    ReadInt("windows", "positionX", &s.positionX);
    ReadInt("windows", "positionY", &s.positionY);
    ReadInt("windows", "sizeX", &s.sizeX);
    ReadInt("windows", "sizeY", &s.sizeY);

    s.textColor = (COLORREF)ReadSettingInt("list", "textcolor", (int)s.textColor);
    s.backColor = (COLORREF)ReadSettingInt("list", "backcolor", (int)s.backColor);
    s.sortAscending = ReadSettingInt("list", "sortasc", 1);
    s.sortColumn = ReadSettingInt("list", "sortcol", 0);
    ReadIndexedInts("lvw%d", s.columnWidth);
    ReadIndexedInts("lvd%d", s.columnShown);
    ReadIndexedInts("lvo%d", s.columnOrder);
    RepairColumnOrder(s.columnOrder);

    ReadText("dirloc", "program", s.programFolder, 259);
    ReadText("dirloc", "combine", s.combineFolder, 259);

    s.logCompression = ReadSettingInt("options", "log_compression", 0) == 1 ? 1 : 0;
    ReadInt("options", "log_verbose", &s.logVerbose);
    ReadInt("options", "askexit", &s.askExit);
    ReadInt("options", "auto_showlog", &s.autoShowLog);
    ReadInt("options", "remote_requires_encryption", &s.remoteRequiresEncryption);
    ReadInt("options", "we_burn", &s.weBurn);
    ReadInt("options", "email_recv_timeout", &s.emailRecvTimeout);
    ReadInt("options", "email_send_timeout", &s.emailSendTimeout);
    ReadInt("options", "ftp_retry", &s.ftpRetry);
    ReadInt("options", "smtp_retry", &s.smtpRetry);
    ReadInt("options", "warn_bad_exclusions", &s.warnBadExclusions);
    ReadInt("options", "backup_locked", &s.backupLocked);
    ReadInt("options", "remove_excluded", &s.removeExcluded);
    ReadInt("options", "instartup", &s.inStartup);
    ReadInt("options", "likedrive_timedelta", &s.likeDriveTimeDelta);
    s.jrOptions = ReadSettingInt("options", "jr_options", 13);
    ReadSettingString("options", "jr_emailto", s.jrEmailTo, "", sizeof(s.jrEmailTo));
    ReadSettingString("options", "jr_server", s.jrServer, "", sizeof(s.jrServer));
    ReadSettingString("options", "jr_emailfrom", s.jrEmailFrom, "", sizeof(s.jrEmailFrom));
    ReadSettingString("options", "jr_emailuser", s.jrEmailUser, "", sizeof(s.jrEmailUser));
    ReadSettingString("options", "jr_emailpasswd", s.jrEmailPasswd, "", sizeof(s.jrEmailPasswd));
    s.jrPort = ReadSettingInt("options", "jr_port", 25);
    ReadInt("options", "jr_emailwhen", &s.jrEmailWhen);
    ReadInt("options", "btnsize", &s.buttonSize);
    ReadInt("options", "newversionfreq", &s.newVersionFrequency);
    ReadInt("options", "dlgsize", &s.dialogSize);
}

void SaveGlobalSettings()
{
    const GlobalSettings &s = gSettings;
    WriteSettingInt("windows", "positionX", s.positionX);
    WriteSettingInt("windows", "positionY", s.positionY);
    WriteSettingInt("windows", "sizeX", s.sizeX);
    WriteSettingInt("windows", "sizeY", s.sizeY);

    WriteSettingInt("list", "textcolor", (int)s.textColor);
    WriteSettingInt("list", "backcolor", (int)s.backColor);
    WriteListFont();
    if (syncJobListSettings != nullptr)
        syncJobListSettings();
    WriteSettingInt("list", "sortasc", s.sortAscending);
    WriteSettingInt("list", "sortcol", s.sortColumn);
    char name[16];
    for (int i = 0; i < kJobColumnCount; ++i) {
        FormatText(name, sizeof(name), "lvw%d", i);
        WriteSettingInt("list", name, s.columnWidth[i]);
        FormatText(name, sizeof(name), "lvd%d", i);
        WriteSettingInt("list", name, s.columnShown[i]);
        FormatText(name, sizeof(name), "lvo%d", i);
        WriteSettingInt("list", name, s.columnOrder[i]);
    }

    WriteSettingString("startup", "current_data_path", dataFolder);
    WriteSettingString("dirloc", "program", s.programFolder);
    WriteSettingString("dirloc", "combine", s.combineFolder);

    WriteSettingInt("options", "log_compression", s.logCompression == 1 ? 1 : 0);
    WriteSettingInt("options", "log_verbose", s.logVerbose);
    WriteSettingInt("options", "askexit", s.askExit);
    WriteSettingInt("options", "auto_showlog", s.autoShowLog);
    WriteSettingInt("options", "remote_requires_encryption", s.remoteRequiresEncryption);
    WriteSettingInt("options", "we_burn", s.weBurn);
    WriteSettingInt("options", "email_recv_timeout", s.emailRecvTimeout);
    WriteSettingInt("options", "email_send_timeout", s.emailSendTimeout);
    WriteSettingInt("options", "ftp_retry", s.ftpRetry);
    WriteSettingInt("options", "smtp_retry", s.smtpRetry);
    WriteSettingInt("options", "warn_bad_exclusions", s.warnBadExclusions);
    WriteSettingInt("options", "backup_locked", s.backupLocked);
    WriteSettingInt("options", "remove_excluded", s.removeExcluded);
    WriteSettingInt("options", "instartup", s.inStartup);
    WriteSettingInt("options", "jr_options", s.jrOptions);
    WriteSettingString("options", "jr_emailto", s.jrEmailTo);
    WriteSettingString("options", "jr_server", s.jrServer);
    WriteSettingString("options", "jr_emailfrom", s.jrEmailFrom);
    WriteSettingString("options", "jr_emailuser", s.jrEmailUser);
    WriteSettingString("options", "jr_emailpasswd", s.jrEmailPasswd);
    WriteSettingInt("options", "jr_port", s.jrPort);
    WriteSettingInt("options", "jr_emailwhen", s.jrEmailWhen);
    WriteSettingInt("options", "btnsize", s.buttonSize);
    WriteSettingInt("options", "newversionfreq", s.newVersionFrequency);
    WriteSettingInt("options", "dlgsize", s.dialogSize);
}
