// Program-wide options, the data folder and the store's path. The globals hold their built-in
// defaults from program start; LoadGlobalSettings replaces them once, SaveGlobalSettings writes
// them at exit.
#pragma once
#include <windows.h>

const int kJobColumnCount = 22;

struct GlobalSettings {
    // windows
    int positionX, positionY, sizeX, sizeY;
    // list
    COLORREF textColor, backColor;
    int sortAscending; // 1 ascending, 2 descending
    int sortColumn;
    int columnWidth[kJobColumnCount];
    int columnShown[kJobColumnCount];
    int columnOrder[kJobColumnCount];
    // dirloc
    char programFolder[260];
    char combineFolder[260];
    // options
    int logCompression; // on only when stored as exactly 1
    int logVerbose;
    int askExit;
    int autoShowLog;
    int remoteRequiresEncryption;
    int weBurn;
    int emailRecvTimeout;
    int emailSendTimeout;
    int ftpRetry;
    int smtpRetry;
    int warnBadExclusions;
    int backupLocked;
    int removeExcluded;
    int inStartup;
    int likeDriveTimeDelta; // read, never written
    int jrOptions;
    char jrEmailTo[256];
    char jrServer[128];
    char jrEmailFrom[256];
    char jrEmailUser[64];
    char jrEmailPasswd[64]; // scrambled
    int jrPort;
    int jrEmailWhen;
    int buttonSize;
    int newVersionFrequency;
    int dialogSize;
};

extern GlobalSettings gSettings;
extern char dataFolder[260]; // ends in '\'
extern char storePath[260];
extern int enableLua; // 0 only when EnableLUA is readable and 0
extern LOGFONTA listFont;
extern HFONT listFontHandle;

extern const char *const kSettingsKeyRoot;

// Puts every setting back to its built-in default.
void ResetGlobalSettings();

int ReadSettingString(const char *section, const char *name, char *out, const char *defaultText,
                      DWORD outSize);
int WriteSettingString(const char *section, const char *name, const char *text);
int ReadSettingInt(const char *section, const char *name, int defaultValue);
int WriteSettingInt(const char *section, const char *name, int value);
int WriteListFont();
int ReadListFont();
void ApplySavedListFont(HWND list);

// Sets dataFolder and storePath from the user's application-data folder.
void LocateDataFolder();
int ReadEnableLua();
void LoadGlobalSettings();
void SaveGlobalSettings();

// The job list brings its column order, widths and sort column into gSettings; set by the
// job list, called by SaveGlobalSettings.
extern void (*syncJobListSettings)();
