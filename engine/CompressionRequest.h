// The argument block of the compression library's RunDLLCommand, shared by the ZIP step and
// kvcmpenc. Pointers are those of the 32-bit process.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct CompressionRequest {
    char *commandLine;              // 8-bit text, buffer of 1024 bytes
    volatile char *cancelFlag;      // the job's cancel byte; 1 means stop
    const char *logPath;            // "%scompress.txt" in the data folder, 260 bytes
    uint8_t verbose;                // 1 when log_compression is 1
    uint8_t padding[3];
    char *messageBuffer;            // 256 bytes, first byte 0
    volatile int32_t *progress;     // the job's progressPercent, 0-100
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(CompressionRequest, commandLine) == 0, "layout");
static_assert(offsetof(CompressionRequest, cancelFlag) == 4, "layout");
static_assert(offsetof(CompressionRequest, logPath) == 8, "layout");
static_assert(offsetof(CompressionRequest, verbose) == 12, "layout");
static_assert(offsetof(CompressionRequest, messageBuffer) == 16, "layout");
static_assert(offsetof(CompressionRequest, progress) == 20, "layout");
static_assert(sizeof(CompressionRequest) == 24, "layout");
#endif

// What RunDLLCommand returns.
enum CompressionResult : int32_t {
    CompressionOk = 0,
    CompressionWarnings = 1,
    CompressionFailed = 2,
    CompressionSyntaxError = 7,
    CompressionNoMemory = 8,
    CompressionAborted = 255,
};

typedef int32_t(__stdcall *RunDLLCommandProc)(CompressionRequest *request);

// What RunDLLCommand leaves in messageBuffer when it failed (CompressionFailed) because the
// archive's volume is full.
const char kCompressionDiskFullMessage[] = "Failed: disk full";
