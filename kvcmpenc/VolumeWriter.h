// The archive's bytes on disk: one file, or parts "<archive>.001", ".002", ... of at most a
// fixed size each, which joined in order give the archive. Bytes are written once, in the
// order they come; the only writes behind the end are the ZIP library's rewrites of a local
// header once an entry's sizes are known, which may reach back into an earlier part.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>

#include "FlushBehind.h"

// Part numbers run from 1 to this; the ZIP step looks no further.
const int MaxVolumeParts = 9998;

// "%s.%03d": three digits up to part 999, four from 1000 on.
std::string MakePartName(const std::string &archivePath, int partNumber);

class VolumeWriter {
public:
    // volumeSize 0 writes archivePath itself; otherwise parts of at most volumeSize bytes, at
    // most maxParts of them. Every flushBehind bytes the part being written is flushed on
    // another thread, so Commit's flush has little left to do.
    VolumeWriter(const std::string &archivePath, uint64_t volumeSize, int maxParts = MaxVolumeParts,
                 uint64_t flushBehind = 64 << 20);
    ~VolumeWriter();
    VolumeWriter(const VolumeWriter &) = delete;
    VolumeWriter &operator=(const VolumeWriter &) = delete;

    bool Write(const void *data, uint64_t length);
    // Moves the write position within what has been written so far.
    bool Seek(uint64_t position);
    uint64_t Tell() const { return position_; }
    uint64_t Size() const { return end_; }
    // Flushes and closes every file and keeps them.
    bool Commit();
    // Closes and deletes every file made, so a failed or cancelled run leaves nothing behind.
    void Discard();

    int FileCount() const { return (int)files_.size(); }
    const std::string &FilePath(int index) const { return names_[(size_t)index]; }
    // Why the last call failed: the Windows error code, and whether the part limit was hit.
    DWORD LastError() const { return lastError_; }
    bool TooManyParts() const { return tooManyParts_; }

private:
    bool SelectFile(int index);
    void CloseCurrent();

    std::string archivePath_;
    uint64_t volumeSize_;
    int maxParts_;
    std::vector<std::wstring> files_;   // paths as opened, one per part made
    std::vector<std::string> names_;    // the same paths as 8-bit text, for the log
    HANDLE current_ = INVALID_HANDLE_VALUE;
    int currentIndex_ = -1;
    uint64_t position_ = 0;
    uint64_t end_ = 0;
    DWORD lastError_ = 0;
    bool tooManyParts_ = false;
    uint64_t flushBehind_;
    uint64_t flushedTo_ = 0;   // where the last flush behind was asked for
    FlushBehind flusher_;
};
