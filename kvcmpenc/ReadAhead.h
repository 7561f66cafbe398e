// The small files of an archive read whole ahead of the compressor's reader, in list order, on a
// few threads of their own. Opening, reading and closing a file each wait for the file system
// (under Wine, for its server); with several files in hand at once those waits overlap, where one
// reader would wait for each in turn. Each thread reads a run of files at a time and hands the
// run over whole, so the threads and the reader seldom need to wake each other. Only a few runs
// are read ahead of the reader, and each file is opened once and closed as soon as it has been
// read, so memory and open handles stay bounded whatever the length of the list: only a file
// that has grown past the size read ahead stays open, for the reader to read on, and it ends its
// run. A larger file is opened by the reader itself when it comes to it.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <memory>
#include <thread>
#include <vector>

#include "InputSource.h"

// A file as the reader takes it: the bytes read ahead, then the rest through its handle (a
// large file, or a small one that has grown since it was listed).
class TakenFile {
public:
    TakenFile() = default;
    ~TakenFile() { Close(); }
    TakenFile(const TakenFile &) = delete;
    TakenFile &operator=(const TakenFile &) = delete;

    // Up to length bytes, as ReadFile gives them: 0 at the end of the file. On false,
    // GetLastError says why.
    bool Read(uint8_t *data, size_t length, size_t *got);
    void Close();

private:
    friend class ReadAhead;
    const uint8_t *data_ = nullptr;   // in the run it was read with
    size_t length_ = 0;
    size_t given_ = 0;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD readError_ = ERROR_SUCCESS;   // reading ahead failed after data_
};

class ReadAhead {
public:
    // files must outlive this. Files of at most largest bytes (as listed) are read ahead.
    ReadAhead(const std::vector<InputFile> &files, size_t largest);
    // Stops the threads and waits for them.
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Starts up to threads threads at the given priority; with none, the reader opens every file.
    void Start(int threads, int priority);
    // Lets the threads go and makes a waiting Take return false.
    void Stop();

    // For the reader, file after file in list order: the file of index, open. False when stopped;
    // a file that cannot be opened gives true with *openError set. The file given before is
    // closed first.
    bool Take(size_t index, TakenFile *file, DWORD *openError);

private:
    // One file of a run.
    struct RunFile {
        bool readAhead = false;   // else the reader opens it itself
        size_t offset = 0;        // of its bytes in the run's data
        size_t length = 0;
        HANDLE handle = INVALID_HANDLE_VALUE;
        DWORD openError = ERROR_SUCCESS;
        DWORD readError = ERROR_SUCCESS;
    };

    // Consecutive files of the list, read ahead together; a larger file makes a run of its own
    // that is not read ahead.
    struct Run {
        size_t first = 0;   // the list index of its first file
        size_t count = 0;
        bool ready = false;
        std::vector<uint8_t> data;
        std::vector<RunFile> files;   // none when the reader opens them all itself
        bool Holds(size_t index) const { return index >= first && index - first < count; }
        // The file of index when it was read ahead; none when the reader must open it.
        RunFile *ReadAheadFile(size_t index);
        void CloseHandles();
    };

    void ReadRuns();
    void ReadRun(Run *run);
    // The next run, once it is read; false when stopped.
    bool TakeRun();

    const std::vector<InputFile> &files_;
    size_t largest_;
    int priority_ = THREAD_PRIORITY_NORMAL;
    std::vector<std::thread> threads_;
    Run taken_;   // the reader's: the run of the file it took last

    // Guarded by lock_. Run n is read into slots_[n % slotCount_] once the reader has taken run
    // n - slotCount_.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE slotFree_ = CONDITION_VARIABLE_INIT;    // the threads wait for room
    CONDITION_VARIABLE runReady_ = CONDITION_VARIABLE_INIT;    // the reader waits for its run
    std::unique_ptr<Run[]> slots_;
    size_t slotCount_ = 0;
    size_t nextFile_ = 0;    // where the next run starts
    uint64_t nextRun_ = 0;   // the next run a thread takes on
    uint64_t runsTaken_ = 0;
    bool stopping_ = false;
    // Who waits, so a run read or taken wakes someone only when someone waits.
    int threadsWaiting_ = 0;
    bool readerWaiting_ = false;
};
