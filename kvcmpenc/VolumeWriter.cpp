#include "VolumeWriter.h"

#include <algorithm>

#include "PathText.h"
#include "MsvcrtFormat.h"

std::string MakePartName(const std::string &archivePath, int partNumber)
{
    char suffix[16];
    FormatText(suffix, sizeof suffix, ".%03d", partNumber);
    return archivePath + suffix;
}

VolumeWriter::VolumeWriter(const std::string &archivePath, uint64_t volumeSize, int maxParts,
                           uint64_t flushBehind)
    : archivePath_(archivePath), volumeSize_(volumeSize), maxParts_(maxParts), flushBehind_(flushBehind)
{
}

VolumeWriter::~VolumeWriter()
{
    CloseCurrent();
}

void VolumeWriter::CloseCurrent()
{
    if (current_ != INVALID_HANDLE_VALUE)
        CloseHandle(current_);
    current_ = INVALID_HANDLE_VALUE;
    currentIndex_ = -1;
}

// Makes part index (from 0) the current file: an earlier part is opened again, the next new
// one is created. Parts are only ever made in order, so there are no gaps.
bool VolumeWriter::SelectFile(int index)
{
    if (index == currentIndex_)
        return true;
    // A part still held by a flush behind could not be opened again for writing.
    flusher_.Wait();
    CloseCurrent();
    bool isNew = index == (int)files_.size();
    if (isNew) {
        if (volumeSize_ != 0 && index >= maxParts_) {
            tooManyParts_ = true;
            lastError_ = ERROR_HANDLE_DISK_FULL;
            return false;
        }
        std::string name = volumeSize_ == 0 ? archivePath_ : MakePartName(archivePath_, index + 1);
        std::wstring wide, path;
        if (!ConvertAnsiToWide(name, &wide) || !MakeFilePath(wide, &path)) {
            lastError_ = ERROR_INVALID_NAME;
            return false;
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            lastError_ = GetLastError();
            return false;
        }
        files_.push_back(path);
        names_.push_back(name);
        current_ = file;
    } else {
        if (index > (int)files_.size()) {
            lastError_ = ERROR_SEEK;
            return false;
        }
        current_ = CreateFileW(files_[(size_t)index].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (current_ == INVALID_HANDLE_VALUE) {
            lastError_ = GetLastError();
            return false;
        }
    }
    currentIndex_ = index;
    return true;
}

bool VolumeWriter::Write(const void *data, uint64_t length)
{
    const char *bytes = static_cast<const char *>(data);
    while (length > 0) {
        uint64_t index = volumeSize_ ? position_ / volumeSize_ : 0;
        uint64_t offset = position_ - index * volumeSize_;
        uint64_t room = volumeSize_ ? volumeSize_ - offset : length;
        DWORD chunk = (DWORD)std::min<uint64_t>(std::min(room, length), 1u << 20);
        if (index >= (uint64_t)maxParts_) {
            tooManyParts_ = true;
            lastError_ = ERROR_HANDLE_DISK_FULL;
            return false;
        }
        if (!SelectFile((int)index))
            return false;
        LARGE_INTEGER where;
        where.QuadPart = (LONGLONG)offset;
        if (!SetFilePointerEx(current_, where, nullptr, FILE_BEGIN)) {
            lastError_ = GetLastError();
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(current_, bytes, chunk, &written, nullptr) || written != chunk) {
            // A short write without an error code means the disc is full.
            lastError_ = written != chunk && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError();
            return false;
        }
        bytes += chunk;
        length -= chunk;
        position_ += chunk;
        if (position_ > end_)
            end_ = position_;
        if (flushBehind_ != 0 && end_ - flushedTo_ >= flushBehind_) {
            flusher_.Request(current_);
            flushedTo_ = end_;
        }
    }
    return true;
}

bool VolumeWriter::Seek(uint64_t position)
{
    if (position > end_) {
        lastError_ = ERROR_SEEK;
        return false;
    }
    position_ = position;
    return true;
}

bool VolumeWriter::Commit()
{
    DWORD behind = flusher_.Wait();
    bool ok = behind == 0;
    if (!ok)
        lastError_ = behind;
    if (current_ != INVALID_HANDLE_VALUE && !FlushFileBuffers(current_)) {
        lastError_ = GetLastError();
        ok = false;
    }
    CloseCurrent();
    return ok;
}

void VolumeWriter::Discard()
{
    flusher_.Wait();   // no handle of its may keep a part from being deleted
    CloseCurrent();
    for (const std::wstring &path : files_)
        DeleteFileW(path.c_str());
    files_.clear();
    names_.clear();
    position_ = end_ = 0;
}
