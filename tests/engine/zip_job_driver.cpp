// A console program for the end-to-end tests: runs one compressed backup job through the
// engine, so Linux-side readers can check its archives. Prints the job log, exits with the
// job's result.
//   zip_job_driver.exe --lib <folder> --dest <folder> [--name <zip name>] [--password <text>]
//       [--split <size> <unit 0-3>] [--every <n>] [--state <file>] [--lock <file>] [--cancel]
//       [--log-compression] <source> ...
// --state keeps the date filter's count and last run time between runs; --lock holds a file
// open without sharing during the job; --cancel cancels once compressing has started.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "GlobalSettings.h"
#include "JobTestSupport.h"
#include "TextHelpers.h"
#include "ZipStep.h"

namespace {

struct DriverOptions {
    std::string lib, dest, name = "Backup.zip", password, state, lock;
    int splitSize = 0, splitUnit = 0, every = 0;
    bool cancel = false, logCompression = false;
    std::vector<std::string> sources;
};

bool ParseOptions(int argc, char **argv, DriverOptions *o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--lib" && more) o->lib = argv[++i];
        else if (a == "--dest" && more) o->dest = argv[++i];
        else if (a == "--name" && more) o->name = argv[++i];
        else if (a == "--password" && more) o->password = argv[++i];
        else if (a == "--state" && more) o->state = argv[++i];
        else if (a == "--lock" && more) o->lock = argv[++i];
        else if (a == "--every" && more) o->every = atoi(argv[++i]);
        else if (a == "--split" && i + 2 < argc) {
            o->splitSize = atoi(argv[++i]);
            o->splitUnit = atoi(argv[++i]);
        } else if (a == "--cancel") o->cancel = true;
        else if (a == "--log-compression") o->logCompression = true;
        else if (a.compare(0, 2, "--") == 0) return false;
        else o->sources.push_back(a);
    }
    return !o->lib.empty() && !o->dest.empty() && !o->sources.empty();
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
    lstrcpynA(config->compressedFileName, o.name.c_str(), sizeof(config->compressedFileName));
    if (!o.password.empty()) {
        config->flags |= Encrypted;
        lstrcpynA(config->zipPassword, o.password.c_str(), sizeof(config->zipPassword));
        ScramblePassword(config->zipPassword);
    }
    if (o.splitSize > 0) {
        config->flags |= SplitZip;
        config->splitSize = o.splitSize;
        config->splitUnit = o.splitUnit;
    }
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
    int result = 0;
    std::string log;
    {
        JobTestEnvironment env;
        gSettings.logCompression = options.logCompression ? 1 : 0;
        int index = env.AddConfig("Job A", options.dest, options.sources, Compressed | Enabled);
        BackupConfig *config = env.Config(index);
        Configure(config, options);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (!options.lock.empty())
            held = CreateFileA(options.lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        HANDLE canceller = nullptr;
        if (options.cancel)
            canceller = CreateThread(nullptr, 0, CancelWhenCompressing, config, 0, nullptr);
        result = env.RunJob(index);
        if (canceller != nullptr) {
            WaitForSingleObject(canceller, INFINITE);
            CloseHandle(canceller);
        }
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        if (!options.state.empty())
            WriteState(options.state, config);
        log = env.LogText(index);
    }
    fwrite(log.data(), 1, log.size(), stdout);
    return result;
}
