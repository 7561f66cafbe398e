// A console program for the end-to-end tests: runs one compressed backup job whose ZIP
// volumes go to an FTP, FTPS or SFTP server, and prints the job log, then, after a line
// "=== FTPsLog.txt", libcurl's log when there is one. Exits with the job's result.
//   remote_job_driver.exe --lib <folder> --dest <folder> --server <text> --port <n>
//       [--user <text>] [--pass <text>] [--folder <text>] [--flags <hex ConfigFlags to add>]
//       [--name <zip name>] [--zip-password <text>] [--split <size> <unit 0-3>] [--retry <n>] [--verbose]
//       [--allow-plain] [--stop-when-uploading] [--test-upload] [--lock <file>] [--resume-wait <seconds>]
//       [--data <folder>] [--stop-at-status <text> <seconds>] [--reply-timeout <seconds>]
//       [--mail] [--result-mail] [--dump-when <file>] [--dump-while-compressing] <source> ...
// --stop-when-uploading stops the job as the Stop command does once the first bytes are sent;
// --stop-at-status stops it that many seconds after its status line began with the text.
// --reply-timeout shortens the time-out for a server that does not answer (60 seconds).
// --lock holds a file open without sharing during the job.
// --test-upload runs the FTP page's test upload with these settings instead of a job.
// --resume-wait shortens the wait of plain FTP before a resume (3 minutes).
// --data gives a data folder (with its trailing backslash) that outlives the run, such as one
// whose known SSH host keys a later run checks; without it each run has a fresh one.
// --mail e-mails the volumes by SMTP with a login instead (--server is then the mail server's
// name); --result-mail sends only the job-result e-mail that way, with no off-site step.
// --dump-when writes a crash dump, as the program's fault handlers do, once the file exists;
// --dump-while-compressing once the compression library has done part of its work. The message
// that names the dump is printed as a box.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "CrashHandlers.h"
#include "MailLibrary.h"
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
    std::string stopStatus, dumpWhen;
    uint32_t flags = 0;
    bool verbose = false, allowPlain = false, stop = false, testUpload = false, mail = false, resultMail = false,
         dumpWhileCompressing = false;
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
        else if (a == "--dump-when" && values.Has(1)) o->dumpWhen = values.Next();
        else if (a == "--dump-while-compressing") o->dumpWhileCompressing = true;
        else if (a == "--mail") o->mail = true;
        else if (a == "--result-mail") o->resultMail = true;
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

// --dump-when: once the file exists (or, with --dump-while-compressing, the compression is under
// way), the job thread's next touch of its configuration's page (the progress, the cancel byte or
// the mail socket, which a send reads and writes as it goes) writes a crash dump on that thread,
// as the fault handlers would: the page is guarded and a vectored handler writes the dump. A dump
// written from another thread would not do: Wine records a waiting thread's stack only from where
// it entered the system, so the frames of the send would be missing.
struct DumpTrigger {
    std::string file;
    bool compressing = false;
    BackupConfig *config = nullptr;
    DWORD jobThread = 0;
    volatile LONG written = 0;
};
DumpTrigger dumpTrigger;

LONG CALLBACK DumpOnJobThread(EXCEPTION_POINTERS *pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != STATUS_GUARD_PAGE_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    if (GetCurrentThreadId() == dumpTrigger.jobThread && InterlockedExchange(&dumpTrigger.written, 1) == 0)
        WriteCrashDump(pointers);
    // The guard went with the fault: the access goes on. Another thread's touch is let through,
    // and the page guarded again below.
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool IsDumpDue()
{
    if (!dumpTrigger.compressing)
        return GetFileAttributesA(dumpTrigger.file.c_str()) != INVALID_FILE_ATTRIBUTES;
    char status[520];
    GetStatusText(dumpTrigger.config, status, sizeof(status));
    int32_t percent = GetProgressPercent(dumpTrigger.config);
    return strncmp(status, "Compressing", 11) == 0 && percent > 0 && percent < 100;
}

DWORD WINAPI DumpWhenDue(LPVOID)
{
    for (int waits = 0; !IsDumpDue(); ++waits) {
        if (waits > 120000)
            return 1;
        Sleep(1);
    }
    for (int i = 0; i < 3000 && dumpTrigger.written == 0; ++i) {
        DWORD old = 0;
        VirtualProtect(&dumpTrigger.config->progressPercent, 1, PAGE_READWRITE | PAGE_GUARD, &old);
        Sleep(20);
    }
    return 0;
}

// A message box would wait for a user who is not there: its text goes to the output instead.
std::string boxTexts;
int RecordMessageBox(HWND, const char *text, const char *, UINT)
{
    boxTexts += std::string("=== box: ") + text + "\n";
    return IDOK;
}

void ConfigureMail(BackupConfig *config, const DriverOptions &o)
{
    config->flags |= RemoteEmail | o.flags;
    config->emailFlags = UseAuthentication;
    lstrcpynA(config->emailTo, "backup@example.test", sizeof(config->emailTo));
    lstrcpynA(config->emailFrom, "velloran@example.test", sizeof(config->emailFrom));
    lstrcpynA(config->mailServer, o.server.c_str(), sizeof(config->mailServer));
    lstrcpynA(config->smtpUsername, o.user.c_str(), sizeof(config->smtpUsername));
    lstrcpynA(config->smtpPassword, o.pass.c_str(), sizeof(config->smtpPassword));
    ScramblePassword(config->smtpPassword);
    config->smtpPort = o.port;
}

void ConfigureResultMail(const DriverOptions &o)
{
    gSettings.jrEmailWhen = 0x08;
    gSettings.jrOptions = UseAuthentication;
    lstrcpynA(gSettings.jrEmailTo, "admin@example.test", sizeof(gSettings.jrEmailTo));
    lstrcpynA(gSettings.jrEmailFrom, "velloran@example.test", sizeof(gSettings.jrEmailFrom));
    lstrcpynA(gSettings.jrServer, o.server.c_str(), sizeof(gSettings.jrServer));
    lstrcpynA(gSettings.jrEmailUser, o.user.c_str(), sizeof(gSettings.jrEmailUser));
    lstrcpynA(gSettings.jrEmailPasswd, o.pass.c_str(), sizeof(gSettings.jrEmailPasswd));
    ScramblePassword(gSettings.jrEmailPasswd);
    gSettings.jrPort = o.port;
}

void Configure(BackupConfig *config, const DriverOptions &o)
{
    if (o.mail)
        ConfigureMail(config, o);
    else if (!o.resultMail)
        config->flags |= RemoteFtp | o.flags;
    if (o.resultMail)
        ConfigureResultMail(o);
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
    // On the heap, where the program keeps its settings too: a dump the driver writes must find
    // on the stacks only what the program itself left there.
    auto held = std::make_unique<DriverOptions>();
    DriverOptions &options = *held;
    if (!ParseOptions(argc, argv, &options)) {
        fputs("usage: remote_job_driver.exe --lib <folder> --dest <folder> --server <text> [options] <source> ...\n",
              stderr);
        return 100;
    }
    SetCompressionLibraryFolder(options.lib.c_str());
    SetMailLibraryFolder(options.lib.c_str());
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
        if (!options.dumpWhen.empty() || options.dumpWhileCompressing) {
            dumpTrigger.file = options.dumpWhen;
            dumpTrigger.compressing = options.dumpWhileCompressing;
            dumpTrigger.config = config;
            dumpTrigger.jobThread = GetCurrentThreadId();  // the job runs on this thread
            AddVectoredExceptionHandler(1, DumpOnJobThread);
            result = RunDriverJob(env, index, options, DumpWhenDue);
        } else
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
