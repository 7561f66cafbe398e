// A console program for the end-to-end tests: runs one compressed backup job whose ZIP
// volumes go to an FTP, FTPS or SFTP server, and prints the job log, then, after a line
// "=== FTPsLog.txt", libcurl's log when there is one. Exits with the job's result.
//   remote_job_driver.exe --lib <folder> --dest <folder> --server <text> --port <n>
//       [--user <text>] [--pass <text>] [--folder <text>] [--flags <hex ConfigFlags to add>]
//       [--name <zip name>] [--zip-password <text>] [--split <size> <unit 0-3>] [--retry <n>] [--verbose]
//       [--allow-plain] [--stop-when-uploading] [--test-upload] [--lock <file>] [--resume-wait <seconds>]
//       [--data <folder>] <source> ...
// --stop-when-uploading stops the job as the Stop command does once the first bytes are sent.
// --lock holds a file open without sharing during the job.
// --test-upload runs the FTP page's test upload with these settings instead of a job.
// --resume-wait shortens the wait of plain FTP before a resume (3 minutes).
// --data gives a data folder (with its trailing backslash) that outlives the run, such as one
// whose known SSH host keys a later run checks; without it each run has a fresh one.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "MessageBoxSeam.h"
#include "FtpUpload.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "JobTestSupport.h"
#include "RemoteJobSteps.h"
#include "TextHelpers.h"
#include "ZipStep.h"

namespace {

struct DriverOptions {
    std::string lib, dest, server, user = "tester", pass = "secret", folder, zipPassword, name = "Backup.zip", lock,
        data;
    int port = 0, splitSize = 0, splitUnit = 0, retry = -1, resumeWait = -1;
    uint32_t flags = 0;
    bool verbose = false, allowPlain = false, stop = false, testUpload = false;
    std::vector<std::string> sources;
};

bool ParseOptions(int argc, char **argv, DriverOptions *o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--lib" && more) o->lib = argv[++i];
        else if (a == "--dest" && more) o->dest = argv[++i];
        else if (a == "--server" && more) o->server = argv[++i];
        else if (a == "--port" && more) o->port = atoi(argv[++i]);
        else if (a == "--user" && more) o->user = argv[++i];
        else if (a == "--pass" && more) o->pass = argv[++i];
        else if (a == "--folder" && more) o->folder = argv[++i];
        else if (a == "--flags" && more) o->flags = (uint32_t)strtoul(argv[++i], nullptr, 16);
        else if (a == "--name" && more) o->name = argv[++i];
        else if (a == "--zip-password" && more) o->zipPassword = argv[++i];
        else if (a == "--retry" && more) o->retry = atoi(argv[++i]);
        else if (a == "--lock" && more) o->lock = argv[++i];
        else if (a == "--resume-wait" && more) o->resumeWait = atoi(argv[++i]);
        else if (a == "--data" && more) o->data = argv[++i];
        else if (a == "--split" && i + 2 < argc) {
            o->splitSize = atoi(argv[++i]);
            o->splitUnit = atoi(argv[++i]);
        } else if (a == "--verbose") o->verbose = true;
        else if (a == "--allow-plain") o->allowPlain = true;
        else if (a == "--stop-when-uploading") o->stop = true;
        else if (a == "--test-upload") o->testUpload = true;
        else if (a.compare(0, 2, "--") == 0) return false;
        else o->sources.push_back(a);
    }
    return !o->lib.empty() && !o->dest.empty() && !o->server.empty() && !o->sources.empty();
}

struct StopRequest {
    int index;
    BackupConfig *config;
};

// Waits for the upload to be under way, then stops the job as the window thread would.
DWORD WINAPI StopWhenUploading(LPVOID parameter)
{
    StopRequest *request = static_cast<StopRequest *>(parameter);
    char status[520];
    for (int i = 0; i < 24000; ++i) {
        GetStatusText(request->config, status, sizeof(status));
        if (strncmp(status, "Uploading", 9) == 0 && GetProgressPercent(request->config) > 0) {
            StopBackupJob(request->index);
            return 0;
        }
        Sleep(5);
    }
    return 1;
}

// A message box would wait for a user who is not there: its text goes to the output instead.
std::string boxTexts;
int RecordMessageBox(HWND, const char *text, const char *, UINT)
{
    boxTexts += std::string("=== box: ") + text + "\n";
    return IDOK;
}

void Configure(BackupConfig *config, const DriverOptions &o)
{
    config->flags |= RemoteFtp | o.flags;
    lstrcpynA(config->compressedFileName, o.name.c_str(), sizeof(config->compressedFileName));
    lstrcpynA(config->ftpServer, o.server.c_str(), sizeof(config->ftpServer));
    lstrcpynA(config->ftpUsername, o.user.c_str(), sizeof(config->ftpUsername));
    lstrcpynA(config->ftpPassword, o.pass.c_str(), sizeof(config->ftpPassword));
    ScramblePassword(config->ftpPassword);
    lstrcpynA(config->ftpDirectory, o.folder.c_str(), sizeof(config->ftpDirectory));
    config->ftpPort = o.port;
    if (!o.zipPassword.empty()) {
        config->flags |= Encrypted;
        lstrcpynA(config->zipPassword, o.zipPassword.c_str(), sizeof(config->zipPassword));
        ScramblePassword(config->zipPassword);
    }
    if (o.splitSize > 0) {
        config->flags |= SplitZip;
        config->splitSize = o.splitSize;
        config->splitUnit = o.splitUnit;
    }
}

} // namespace

int main(int argc, char **argv)
{
    DriverOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        fputs("usage: remote_job_driver.exe --lib <folder> --dest <folder> --server <text> [options] <source> ...\n",
              stderr);
        return 100;
    }
    SetCompressionLibraryFolder(options.lib.c_str());
    InstallRemoteJobSteps();
    SetMessageBoxHandler(RecordMessageBox);
    if (options.resumeWait >= 0)
        SetFtpResumeWaitForTesting(options.resumeWait);
    int result = 0;
    std::string log, curlLog;
    {
        JobTestEnvironment env;
        if (!options.data.empty())
            env.UseDataFolder(options.data);
        gSettings.logVerbose = options.verbose ? 1 : 0;
        gSettings.remoteRequiresEncryption = options.allowPlain ? 0 : 1;
        if (options.retry >= 0)
            gSettings.ftpRetry = options.retry;
        if (options.testUpload) {
            result = TestFtpUpload(GetDesktopWindow(), options.folder.c_str(), options.server.c_str(),
                                   options.user.c_str(), options.pass.c_str(), options.flags, options.port);
            curlLog = ReadTextFile(Widen(env.dataPath + "FTPsLog.txt"));
            fputs(boxTexts.c_str(), stdout);
            fputs("=== FTPsLog.txt\n", stdout);
            fwrite(curlLog.data(), 1, curlLog.size(), stdout);
            return result;
        }
        int index = env.AddConfig("Job A", options.dest, options.sources, Compressed | Enabled);
        BackupConfig *config = env.Config(index);
        Configure(config, options);
        SetSmtpSocket(config, -1); // as a job started by the window has it: no mail socket open
        HANDLE held = INVALID_HANDLE_VALUE;
        if (!options.lock.empty())
            held = CreateFileA(options.lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        StopRequest request = {index, config};
        HANDLE stopper = nullptr;
        if (options.stop)
            stopper = CreateThread(nullptr, 0, StopWhenUploading, &request, 0, nullptr);
        result = env.RunJob(index);
        if (stopper != nullptr) {
            WaitForSingleObject(stopper, INFINITE);
            CloseHandle(stopper);
        }
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        log = env.LogText(index);
        curlLog = ReadTextFile(Widen(env.dataPath + "FTPsLog.txt"));
    }
    fwrite(log.data(), 1, log.size(), stdout);
    fputs(boxTexts.c_str(), stdout);
    fputs("=== FTPsLog.txt\n", stdout);
    fwrite(curlLog.data(), 1, curlLog.size(), stdout);
    return result;
}
