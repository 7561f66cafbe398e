// A console program for the end-to-end tests: runs one compressed backup job whose ZIP
// volumes go to an FTP, FTPS or SFTP server, and prints the job log, then, after a line
// "=== FTPsLog.txt", libcurl's log when there is one. Exits with the job's result.
//   remote_job_driver.exe --lib <folder> --dest <folder> --server <text> --port <n>
//       [--user <text>] [--pass <text>] [--folder <text>] [--flags <hex ConfigFlags to add>]
//       [--name <zip name>] [--zip-password <text>] [--split <size> <unit 0-3>] [--retry <n>] [--verbose]
//       [--allow-plain] [--stop-when-uploading] [--test-upload] [--lock <file>] [--resume-wait <seconds>]
//       [--data <folder>] [--stop-at-status <text> <seconds>] [--reply-timeout <seconds>] <source> ...
// --stop-when-uploading stops the job as the Stop command does once the first bytes are sent;
// --stop-at-status stops it that many seconds after its status line began with the text.
// --reply-timeout shortens the time-out for a server that does not answer (60 seconds).
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
#include "FtpCall.h"
#include "FtpUpload.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "JobDriver.h"
#include "JobTestSupport.h"
#include "RemoteJobSteps.h"
#include "TextHelpers.h"
#include "ZipStep.h"

namespace {

struct DriverOptions : JobDriverOptions {
    std::string server, user = "tester", pass = "secret", folder, data;
    int port = 0, retry = -1, resumeWait = -1, stopAfter = -1, replyTimeout = -1;
    std::string stopStatus;
    uint32_t flags = 0;
    bool verbose = false, allowPlain = false, stop = false, testUpload = false;
};

bool ParseOptions(int argc, char **argv, DriverOptions *o)
{
    bool parsed = ParseJobDriverOptions(argc, argv, o, [o](const std::string &a, DriverArguments &values) {
        if (a == "--server" && values.Has(1)) o->server = values.Next();
        else if (a == "--port" && values.Has(1)) o->port = atoi(values.Next());
        else if (a == "--user" && values.Has(1)) o->user = values.Next();
        else if (a == "--pass" && values.Has(1)) o->pass = values.Next();
        else if (a == "--folder" && values.Has(1)) o->folder = values.Next();
        else if (a == "--flags" && values.Has(1)) o->flags = (uint32_t)strtoul(values.Next(), nullptr, 16);
        else if (a == "--zip-password" && values.Has(1)) o->zipPassword = values.Next();
        else if (a == "--retry" && values.Has(1)) o->retry = atoi(values.Next());
        else if (a == "--resume-wait" && values.Has(1)) o->resumeWait = atoi(values.Next());
        else if (a == "--data" && values.Has(1)) o->data = values.Next();
        else if (a == "--stop-at-status" && values.Has(2)) {
            o->stopStatus = values.Next();
            o->stopAfter = atoi(values.Next());
        }
        else if (a == "--reply-timeout" && values.Has(1)) o->replyTimeout = atoi(values.Next());
        else if (a == "--verbose") o->verbose = true;
        else if (a == "--allow-plain") o->allowPlain = true;
        else if (a == "--stop-when-uploading") o->stop = true;
        else if (a == "--test-upload") o->testUpload = true;
        else return false;
        return true;
    });
    return parsed && !o->server.empty();
}

struct StopRequest {
    int index;
    BackupConfig *config;
    std::string status;     // the beginning of the status line to wait for
    bool sending;           // and that the first bytes were sent
    int afterSeconds;
};

// Waits for the status, then after the delay stops the job as the window thread would.
DWORD WINAPI StopAtStatus(LPVOID parameter)
{
    StopRequest *request = static_cast<StopRequest *>(parameter);
    char status[520];
    for (int i = 0; i < 24000; ++i) {
        GetStatusText(request->config, status, sizeof(status));
        if (strncmp(status, request->status.c_str(), request->status.size()) == 0 &&
            (!request->sending || GetProgressPercent(request->config) > 0)) {
            Sleep(request->afterSeconds * 1000);
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
    ApplyJobDriverOptions(config, o);
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
    if (options.replyTimeout >= 0)
        SetFtpReplyTimeoutForTesting(options.replyTimeout);
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
        StopRequest request = {index, config, options.stop ? "Uploading" : options.stopStatus, options.stop,
                               options.stop ? 0 : options.stopAfter};
        bool stops = options.stop || !options.stopStatus.empty();
        result = RunDriverJob(env, index, options, stops ? StopAtStatus : nullptr, &request);
        log = env.LogText(index);
        curlLog = ReadTextFile(Widen(env.dataPath + "FTPsLog.txt"));
    }
    fwrite(log.data(), 1, log.size(), stdout);
    fputs(boxTexts.c_str(), stdout);
    fputs("=== FTPsLog.txt\n", stdout);
    fwrite(curlLog.data(), 1, curlLog.size(), stdout);
    return result;
}
