// What the console drivers of the end-to-end job tests share: the options of a compressed job
// (the compression library's folder, the destination, the archive's name, password and split
// size, a file held locked, the sources) and the run with a helper thread beside the job.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "BackupConfig.h"
#include "JobTestSupport.h"

struct JobDriverOptions {
    std::string lib, dest, name = "Backup.zip", zipPassword, lock;
    int splitSize = 0, splitUnit = 0;
    std::vector<std::string> sources;
};

// The values that follow the option being read.
class DriverArguments {
public:
    DriverArguments(int argc, char **argv) : argc_(argc), argv_(argv) {}
    bool Has(int count) const { return next_ + count <= argc_; }
    const char *Next() { return argv_[next_++]; }

private:
    int argc_;
    char **argv_;
    int next_ = 1;
};

// Reads the command line: the shared options into `options`, every other one through `own`,
// which takes its values from `values` and returns false for an option it does not know. False
// on an unknown option, or when the library folder, the destination or the sources are missing.
bool ParseJobDriverOptions(int argc, char **argv, JobDriverOptions *options,
                           const std::function<bool(const std::string &option, DriverArguments &values)> &own);
// The archive's name, its password (scrambled, as stored) and its split size.
void ApplyJobDriverOptions(BackupConfig *config, const JobDriverOptions &options);
// Runs the job at index while the lock file is held open without sharing and `helper` (when
// given) works on a thread of its own; returns the job's result once the helper has ended.
int RunDriverJob(JobTestEnvironment &env, int index, const JobDriverOptions &options,
                 LPTHREAD_START_ROUTINE helper = nullptr, void *parameter = nullptr);
