#include "JobTestSupport.h"

#include <stdlib.h>
#include <string.h>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobThread.h"
#include "RunQueue.h"
#include "SizeCalculation.h"

std::wstring Widen(const std::string &text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide((size_t)(length > 0 ? length - 1 : 0), L'\0');
    if (length > 1)
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    return wide;
}

std::string Narrow(const std::wstring &text)
{
    int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow((size_t)(length > 0 ? length - 1 : 0), '\0');
    if (length > 1)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], length, nullptr, nullptr);
    return narrow;
}

std::string BinFolder()
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("VELLORAN_BIN_DIR", dir, sizeof dir);
    return dir;
}

bool WriteTextFile(const std::wstring &path, const std::string &content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

std::string ReadTextFile(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

bool FileExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::wstring &path)
{
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool SetWriteTicks(const std::wstring &path, long long ticks)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME time;
    time.dwLowDateTime = (DWORD)(unsigned long long)ticks;
    time.dwHighDateTime = (DWORD)((unsigned long long)ticks >> 32);
    BOOL ok = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return ok != FALSE;
}

long long GetWriteTicks(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (long long)(((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) |
                       data.ftLastWriteTime.dwLowDateTime);
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool HasLine(const std::vector<std::string> &lines, const std::string &line)
{
    for (const std::string &candidate : lines)
        if (candidate == line)
            return true;
    return false;
}

int CountLinesStartingWith(const std::vector<std::string> &lines, const std::string &start)
{
    int count = 0;
    for (const std::string &line : lines)
        count += line.compare(0, start.size(), start) == 0;
    return count;
}

static BoxRecorder *currentRecorder = nullptr;

static int RecordBox(HWND, const char *text, const char *, UINT type)
{
    currentRecorder->texts.push_back(text != nullptr ? text : "");
    currentRecorder->types.push_back(type);
    return currentRecorder->answer;
}

BoxRecorder::BoxRecorder(int answer) : answer(answer)
{
    currentRecorder = this;
    SetMessageBoxHandler(RecordBox);
}

BoxRecorder::~BoxRecorder()
{
    SetMessageBoxHandler(nullptr);
    currentRecorder = nullptr;
}

RecordingShell::RecordingShell()
{
    finished = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetJobShell(this);
}

RecordingShell::~RecordingShell()
{
    SetJobShell(nullptr);
    CloseHandle(finished);
}

void RecordingShell::NotifyJobFinished(int uniqueId)
{
    InterlockedExchange(&finishedId, uniqueId);
    InterlockedIncrement(&finishedCount);
    SetEvent(finished);
}

bool RecordingShell::WaitFinished(DWORD milliseconds)
{
    return WaitForSingleObject(finished, milliseconds) == WAIT_OBJECT_0;
}

JobTestEnvironment::JobTestEnvironment()
{
    ResetGlobalSettings();
    // The jobs here read their sources directly; the shadow-copy road has tests of its own.
    gSettings.backupLocked = 0;
    ClearConfigTable();
    configTable.lastUniqueId = 0;
    FreeRunQueue();
    UseDataFolder(data.path);
}

void JobTestEnvironment::UseDataFolder(const std::string &folder)
{
    dataPath = folder;
    lstrcpynA(dataFolder, folder.c_str(), sizeof(dataFolder));
    lstrcpynA(storePath, (folder + "configs.vlr").c_str(), sizeof(storePath));
}

JobTestEnvironment::~JobTestEnvironment()
{
    // The end of a job may have started the background size count, which reads the records.
    StopAllConfigSizes();
    ClearConfigTable();
    FreeRunQueue();
    ResetGlobalSettings();
}

int JobTestEnvironment::AddConfig(const std::string &description, const std::string &destination,
                                  const std::vector<std::string> &sources, uint32_t flags)
{
    SetNewConfigDefaults();
    BackupConfig &c = editedConfig;
    lstrcpynA(c.description, description.c_str(), sizeof(c.description));
    lstrcpynA(c.destination, destination.c_str(), sizeof(c.destination));
    c.flags = flags;
    c.filterFlags = 0;
    c.revisionCount = 3;
    free(c.sources);
    c.sourceCount = (int32_t)sources.size();
    c.sources = static_cast<SourceItem *>(calloc(sources.size() + 1, sizeof(SourceItem)));
    for (size_t i = 0; i < sources.size(); ++i)
        lstrcpynA(c.sources[i].path, sources[i].c_str(), sizeof(c.sources[i].path));
    configTable.lastUniqueId = c.uniqueId;
    AppendConfig(&c);
    FreeConfigArrays(&editedConfig);
    return configTable.configCount - 1;
}

BackupConfig *JobTestEnvironment::Config(int index)
{
    return ConfigAt(index);
}

void JobTestEnvironment::AddExcluded(int index, const std::string &item)
{
    BackupConfig *c = ConfigAt(index);
    ExcludedEntry *grown = static_cast<ExcludedEntry *>(realloc(c->excludedItems, sizeof(ExcludedEntry) * (size_t)(c->excludedCount + 1)));
    c->excludedItems = grown;
    lstrcpynA(c->excludedItems[c->excludedCount], item.c_str(), sizeof(ExcludedEntry));
    ++c->excludedCount;
}

void JobTestEnvironment::SetExtensions(int index, const std::vector<std::string> &extensions, int32_t filterFlags)
{
    BackupConfig *c = ConfigAt(index);
    free(c->extensions);
    c->extensions = static_cast<ExtensionEntry *>(calloc(extensions.size() + 1, sizeof(ExtensionEntry)));
    for (size_t i = 0; i < extensions.size(); ++i)
        lstrcpynA(c->extensions[i], extensions[i].c_str(), sizeof(ExtensionEntry));
    c->extensionCount = (int32_t)extensions.size();
    c->filterFlags = filterFlags;
}

int JobTestEnvironment::RunJob(int index)
{
    BackupConfig *c = ConfigAt(index);
    SetCancelRequested(c, 0);
    SetConfigRunning(c, 1);
    return (int)RunBackupJob(c);
}

std::string JobTestEnvironment::LogText(int index)
{
    return ReadTextFile(Widen(dataPath + std::to_string(ConfigAt(index)->uniqueId) + ".txt"));
}

std::vector<std::string> JobTestEnvironment::LogLines(int index)
{
    return SplitLines(LogText(index));
}

bool CancelOnceCompressing(BackupConfig *config, DWORD waitMs)
{
    char status[520];
    for (DWORD waited = 0; waited < waitMs; waited += 5) {
        GetStatusText(config, status, sizeof(status));
        // Once the library has read some of the files, so an archive is on its way.
        if (strncmp(status, "Compressing", 11) == 0 && GetProgressPercent(config) > 0) {
            SetCancelRequested(config, 1);
            return true;
        }
        Sleep(5);
    }
    return false;
}
