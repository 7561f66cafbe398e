#include "ArchiveWriter.h"

#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>
#include <zip.h>

#include "BlockDeflater.h"
#include "ListedFiles.h"
#include "OutputSource.h"
#include "ParallelCompressor.h"
#include "VolumeWriter.h"

namespace {

// Deletes the files of an archive that was not completed, whatever the way out.
struct UnfinishedArchive {
    VolumeWriter *writer;
    bool completed = false;
    ~UnfinishedArchive()
    {
        if (!completed)
            writer->Discard();
    }
};

struct ZipDiscarder {
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscarder>;

// Which entries repeat the name of an earlier one. The ZIP library refuses such a name (it
// compares names byte for byte); they are found before the compressor starts, as it reads every
// entry it is given.
std::vector<bool> FindRepeatedNames(const std::vector<ArchiveEntry> &entries)
{
    std::unordered_set<std::string_view> names(entries.size());
    std::vector<bool> repeated(entries.size());
    for (size_t i = 0; i < entries.size(); i++)
        repeated[i] = !names.insert(entries[i].entryName).second;
    return repeated;
}

// Adds the compressor's entry number compressorEntry to the archive: Deflate, its DOS
// attributes, AES-256 when the compressor encrypts. Its data comes from the compressor.
bool AddEntry(zip_t *archive, ParallelCompressor *compressor, int compressorEntry, const ArchiveEntry &entry,
              ReadProgress *progress)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = CreateInputSource(compressor, compressorEntry, entry.file, progress, &error);
    zip_error_fini(&error);
    if (!source)
        return false;
    zip_int64_t index = zip_file_add(archive, entry.entryName.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    zip_uint64_t at = (zip_uint64_t)index;
    // Deflate at the level the compressor uses, so the library takes its data as it is.
    if (zip_set_file_compression(archive, at, ZIP_CM_DEFLATE, (zip_uint32_t)NormalDeflateLevel) < 0 ||
        zip_file_set_external_attributes(archive, at, 0, ZIP_OPSYS_DOS, entry.attributes) < 0)
        return false;
    // The data comes encrypted: the library writes the AES fields but needs no password.
    return !compressor->IsEncrypted() || zip_file_set_encryption(archive, at, ZIP_EM_AES_256, nullptr) == 0;
}

// Writes the archive of entries in one pass; on any failure nothing of it is left on disk.
int32_t WriteArchive(const ArchiveCommand &command, const std::vector<ArchiveEntry> &entries,
                     const SecretText &password, ReadProgress *progress, CompressionLog &log, ArchiveSummary *summary)
{
    VolumeWriter writer(command.archivePath, command.volumeSize);
    UnfinishedArchive unfinished{&writer};
    // Outlives the archive, whose sources read from it.
    ParallelCompressor compressor(password, progress->cancelFlag);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *output = CreateOutputSource(&writer, &error);
    ZipArchive archive(output ? zip_open_from_source(output, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr);
    if (!archive) {
        log.Write("ERROR: Unable to start archive: %s\n", zip_error_strerror(&error));
        bool noMemory = zip_error_code_zip(&error) == ZIP_ER_MEMORY;
        zip_error_fini(&error);
        if (output)
            zip_source_free(output);
        return noMemory ? CompressionNoMemory : CompressionFailed;
    }
    zip_error_fini(&error);

    // The compressor starts reading before the library is given the entries, which takes a while
    // for a long list.
    std::vector<bool> repeated = FindRepeatedNames(entries);
    for (size_t i = 0; i < entries.size(); i++)
        if (!repeated[i])
            compressor.AddEntry(entries[i].file);
    if (IsCancelled(progress))
        return CompressionAborted;
    if (!compressor.Start()) {
        log.Write("ERROR: Unable to write archive: not enough memory to start compressing\n");
        return CompressionNoMemory;
    }
    for (size_t i = 0; i < entries.size(); i++) {
        const ArchiveEntry &entry = entries[i];
        if (repeated[i]) {
            log.Write("WARNING: Duplicate name in list, skipped: %s\n", entry.listedName.c_str());
            summary->skipped++;
            continue;
        }
        if (!AddEntry(archive.get(), &compressor, summary->added, entry, progress)) {
            log.Write("ERROR: Unable to add file: %s: %s\n", entry.listedName.c_str(), zip_strerror(archive.get()));
            bool noMemory = zip_error_code_zip(zip_get_error(archive.get())) == ZIP_ER_MEMORY;
            return noMemory ? CompressionNoMemory : CompressionFailed;
        }
        log.Detail("Adding: %s\n", entry.listedName.c_str());
        summary->added++;
    }
    if (IsCancelled(progress))
        return CompressionAborted;

    // The compressor reads every file, and the library writes the whole archive here.
    if (zip_close(archive.get()) < 0) {
        if (IsCancelled(progress))
            return CompressionAborted;
        if (progress->failedFile >= 0)
            return CompressionFailed;   // the caller leaves the file out and tries again
        if (writer.TooManyParts()) {
            log.Write("ERROR: The archive needs more than %d volumes\n", MaxVolumeParts);
        } else if (writer.LastError() == ERROR_DISK_FULL || writer.LastError() == ERROR_HANDLE_DISK_FULL) {
            summary->diskFull = true;
            log.Write("ERROR: Unable to write archive: disk full (error %lu)\n", writer.LastError());
            return CompressionFailed;
        }
        log.Write("ERROR: Unable to write archive: %s\n", zip_strerror(archive.get()));
        bool noMemory = zip_error_code_zip(zip_get_error(archive.get())) == ZIP_ER_MEMORY;
        return noMemory ? CompressionNoMemory : CompressionFailed;
    }
    archive.release();   // zip_close freed it
    unfinished.completed = true;
    summary->size = writer.Size();
    for (int i = 0; i < writer.FileCount(); i++)
        summary->files.push_back(writer.FilePath(i));
    return CompressionOk;
}

}  // namespace

int32_t WriteArchiveSkippingUnreadable(const ArchiveCommand &command, std::vector<ArchiveEntry> *entries,
                                       const SecretText &password, ReadProgress *progress, CompressionLog &log,
                                       ArchiveSummary *summary)
{
    // A file is first opened when the compressor reads it, and it may fail then: held open by a
    // program that shares it with no one, or gone since the list was made; a file that opened
    // can still fail while it is read (locked ranges, a vanished network file). The library
    // cannot leave an entry out once it has started, so the archive is written again without
    // that file: a second pass, but only in this rare case.
    int leftOut = 0;
    while (!entries->empty()) {
        for (size_t i = 0; i < entries->size(); i++)
            (*entries)[i].file.index = (int)i;
        progress->bytesDone = 0;
        progress->failedFile = -1;
        progress->failedToOpen = false;
        *summary = ArchiveSummary();
        int32_t code = WriteArchive(command, *entries, password, progress, log, summary);
        if (code == CompressionFailed && progress->failedFile >= 0 && !IsCancelled(progress)) {
            size_t failed = (size_t)progress->failedFile;
            if (progress->failedToOpen) {
                leftOut += LeaveOutUnopenableEntries(entries, failed, progress->failedError, progress, log);
                continue;
            }
            log.Write("WARNING: Unable to read file, skipped: %s (error %lu); writing the archive again\n",
                      (*entries)[failed].listedName.c_str(), progress->failedError);
            progress->bytesTotal -= (*entries)[failed].file.size;
            entries->erase(entries->begin() + (ptrdiff_t)failed);
            leftOut++;
            continue;
        }
        summary->skipped += leftOut;
        return code;
    }
    *summary = ArchiveSummary();
    summary->skipped = leftOut;
    return CompressionOk;
}
