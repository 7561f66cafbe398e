// "compress.txt": the lines one call appends for the ZIP step to copy into the job log. The
// password never goes into it.
#pragma once
#include <stdio.h>

class CompressionLog {
public:
    // A missing or unwritable log path leaves the log silent; compression goes on.
    CompressionLog(const char *logPath, bool verbose);
    ~CompressionLog();
    CompressionLog(const CompressionLog &) = delete;
    CompressionLog &operator=(const CompressionLog &) = delete;

    // Formatted in msvcrt's dialect (%ws, %I64u).
    void Write(const char *format, ...);
    // Written only when the call asked for verbose logging.
    void Detail(const char *format, ...);
    bool IsVerbose() const { return verbose_; }

private:
    FILE *file_ = nullptr;
    bool verbose_;
};
