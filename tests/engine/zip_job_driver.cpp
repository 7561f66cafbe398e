// A console program for the end-to-end tests: runs one compressed backup job through the
// engine, so Linux-side readers can check its archives. Prints the job log, exits with the
// job's result.
//   zip_job_driver.exe --lib <folder> --dest <folder> [--name <zip name>] [--password <text>]
//       [--split <size> <unit 0-3>] [--every <n>] [--state <file>] [--data <folder>] [--lock <file>]
//       [--cancel] [--log-compression] [--kill-at-change <n>] <source> ...
// --state keeps the date filter's count and last run time between runs, --data the data folder
// (with its trailing backslash; a scratch folder of the run by default); --lock holds a file
// open without sharing during the job; --cancel cancels once compressing has started;
// --kill-at-change ends the process at once, as a kill would, before the nth deletion, move or
// write of an archive file.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "GlobalSettings.h"
#include "JobDriver.h"
#include "JobTestSupport.h"
#include "ZipStep.h"

namespace {

struct DriverOptions : JobDriverOptions {
    std::string state, data;
    int every = 0, killAtChange = 0;
    bool cancel = false, logCompression = false;
};

LONG changesLeft = 0;

void KillAtChange(const char *)
{
    if (InterlockedDecrement(&changesLeft) == 0)
        TerminateProcess(GetCurrentProcess(), 99);
}

bool ParseOptions(int argc, char **argv, DriverOptions *o)
{
    return ParseJobDriverOptions(argc, argv, o, [o](const std::string &a, DriverArguments &values) {
        if (a == "--password" && values.Has(1)) o->zipPassword = values.Next();
        else if (a == "--state" && values.Has(1)) o->state = values.Next();
        else if (a == "--data" && values.Has(1)) o->data = values.Next();
        else if (a == "--every" && values.Has(1)) o->every = atoi(values.Next());
        else if (a == "--cancel") o->cancel = true;
        else if (a == "--log-compression") o->logCompression = true;
        else if (a == "--kill-at-change" && values.Has(1)) o->killAtChange = atoi(values.Next());
        else return false;
        return true;
    });
}

bool ReadState(const std::string &path, BackupConfig *config)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bool read = fread(&config->dateFilterCount, sizeof(int32_t), 1, file) == 1 &&
                fread(&config->lastCompressedRunTime, sizeof(SYSTEMTIME), 1, file) == 1;
    fclose(file);
    return read;
}

void WriteState(const std::string &path, const BackupConfig *config)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    fwrite(&config->dateFilterCount, sizeof(int32_t), 1, file);
    fwrite(&config->lastCompressedRunTime, sizeof(SYSTEMTIME), 1, file);
    fclose(file);
}

DWORD WINAPI CancelWhenCompressing(LPVOID parameter)
{
    return CancelOnceCompressing(static_cast<BackupConfig *>(parameter), 60000) ? 0 : 1;
}

void Configure(BackupConfig *config, const DriverOptions &o)
{
    ApplyJobDriverOptions(config, o);
    config->dateFilterFlags = o.every > 0 ? EveryNAll : AlwaysAll;
    config->fullBackupEvery = o.every;
    if (!o.state.empty())
        ReadState(o.state, config);
}

} // namespace

int main(int argc, char **argv)
{
    DriverOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        fputs("usage: zip_job_driver.exe --lib <folder> --dest <folder> [options] <source> ...\n", stderr);
        return 100;
    }
    SetCompressionLibraryFolder(options.lib.c_str());
    if (options.killAtChange > 0) {
        changesLeft = options.killAtChange;
        SetZipFileChangeHookForTesting(KillAtChange);
    }
    int result = 0;
    std::string log;
    {
        JobTestEnvironment env;
        gSettings.logCompression = options.logCompression ? 1 : 0;
        if (!options.data.empty())
            env.UseDataFolder(options.data);
        int index = env.AddConfig("Job A", options.dest, options.sources, Compressed | Enabled);
        BackupConfig *config = env.Config(index);
        Configure(config, options);
        result = RunDriverJob(env, index, options, options.cancel ? CancelWhenCompressing : nullptr, config);
        if (!options.state.empty())
            WriteState(options.state, config);
        log = env.LogText(index);
    }
    fwrite(log.data(), 1, log.size(), stdout);
    return result;
}
