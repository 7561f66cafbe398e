#include "JobDriver.h"

#include <stdlib.h>

#include "TextHelpers.h"

bool ParseJobDriverOptions(int argc, char **argv, JobDriverOptions *o,
                           const std::function<bool(const std::string &option, DriverArguments &values)> &own)
{
    DriverArguments values(argc, argv);
    while (values.Has(1)) {
        std::string a = values.Next();
        if (a == "--lib" && values.Has(1)) o->lib = values.Next();
        else if (a == "--dest" && values.Has(1)) o->dest = values.Next();
        else if (a == "--name" && values.Has(1)) o->name = values.Next();
        else if (a == "--lock" && values.Has(1)) o->lock = values.Next();
        else if (a == "--split" && values.Has(2)) {
            o->splitSize = atoi(values.Next());
            o->splitUnit = atoi(values.Next());
        } else if (a.compare(0, 2, "--") != 0) o->sources.push_back(a);
        else if (!own(a, values)) return false;
    }
    return !o->lib.empty() && !o->dest.empty() && !o->sources.empty();
}

void ApplyJobDriverOptions(BackupConfig *config, const JobDriverOptions &o)
{
    lstrcpynA(config->compressedFileName, o.name.c_str(), sizeof(config->compressedFileName));
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

int RunDriverJob(JobTestEnvironment &env, int index, const JobDriverOptions &o, LPTHREAD_START_ROUTINE helper,
                 void *parameter)
{
    HANDLE held = INVALID_HANDLE_VALUE;
    if (!o.lock.empty())
        held = CreateFileA(o.lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE thread = helper != nullptr ? CreateThread(nullptr, 0, helper, parameter, 0, nullptr) : nullptr;
    int result = env.RunJob(index);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    return result;
}
