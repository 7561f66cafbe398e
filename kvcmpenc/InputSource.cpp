#include "InputSource.h"

#include "ParallelCompressor.h"

namespace {

// The general-purpose flags the ZIP library lets a source decide; all clear for Deflate at the
// normal level, as its own compressor reports them.
const zip_uint16_t SourceFlagBits = 0x0836;
const zip_uint16_t VersionForDeflate = 20;
const zip_uint16_t VersionForAes = 51;

struct InputState {
    ParallelCompressor *compressor;
    int entry;
    InputFile file;
    ReadProgress *progress;
    bool ended;
    uint32_t crc;
    uint64_t size;
    zip_error_t error;
};

zip_int64_t FailWith(InputState *state, int zipError, unsigned long systemError)
{
    zip_error_set(&state->error, zipError, (int)systemError);
    return -1;
}

zip_int64_t ReadInput(InputState *state, void *data, zip_uint64_t length)
{
    ReadProgress *progress = state->progress;
    if (IsCancelled(progress))
        return FailWith(state, ZIP_ER_CANCELLED, 0);
    CompressorFailure failure;
    int64_t got = state->compressor->ReadEntry(state->entry, static_cast<uint8_t *>(data), (size_t)length,
                                               progress, &failure);
    if (got < 0) {
        // Remembers which file could not be read, so the archive can be made again without it.
        if (failure.failedFile >= 0 && progress->failedFile < 0) {
            progress->failedFile = failure.failedFile;
            progress->failedToOpen = failure.zipError == ZIP_ER_OPEN;
            progress->failedError = failure.systemError;
        }
        return FailWith(state, failure.zipError, failure.systemError);
    }
    if (got == 0) {
        state->ended = true;
        state->crc = state->compressor->EntryCrc();
        state->size = state->compressor->EntrySize();
    }
    return got;
}

// Already Deflate (and AES when the compressor encrypts), so the library neither compresses
// nor encrypts again; the CRC and the size as read are known once the data has been taken.
zip_int64_t StatInput(InputState *state, void *data, zip_uint64_t length)
{
    zip_stat_t *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &state->error);
    if (!st)
        return -1;
    zip_stat_init(st);
    st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    st->size = state->ended ? state->size : state->file.size;
    st->mtime = state->file.modified;
    st->comp_method = ZIP_CM_DEFLATE;
    st->encryption_method = state->compressor->IsEncrypted() ? ZIP_EM_AES_256 : ZIP_EM_NONE;
    if (state->ended) {
        st->valid |= ZIP_STAT_CRC;
        st->crc = state->crc;
    }
    return sizeof(zip_stat_t);
}

zip_int64_t DescribeInput(InputState *state, void *data, zip_uint64_t length)
{
    zip_file_attributes_t *attributes = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, length, &state->error);
    if (!attributes)
        return -1;
    attributes->valid |= ZIP_FILE_ATTRIBUTES_VERSION_NEEDED | ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
    attributes->version_needed = state->compressor->IsEncrypted() ? VersionForAes : VersionForDeflate;
    attributes->general_purpose_bit_mask = SourceFlagBits;
    attributes->general_purpose_bit_flags = 0;
    return sizeof(zip_file_attributes_t);
}

zip_int64_t HandleInput(void *userdata, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    InputState *state = static_cast<InputState *>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_READ:
        return ReadInput(state, data, length);
    case ZIP_SOURCE_STAT:
        return StatInput(state, data, length);
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
        return DescribeInput(state, data, length);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&state->error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&state->error);
        delete state;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS,
                                              ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
        return FailWith(state, ZIP_ER_OPNOTSUPP, 0);
    }
}

}  // namespace

bool IsCancelByteSet(volatile char *cancelFlag)
{
    return cancelFlag && *cancelFlag == 1;
}

bool IsCancelled(ReadProgress *progress)
{
    if (IsCancelByteSet(progress->cancelFlag))
        progress->cancelled = true;
    return progress->cancelled;
}

HANDLE OpenInputFile(const std::wstring &path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

int32_t ComputeProgressPercent(uint64_t done, uint64_t total)
{
    if (total == 0)
        return 0;
    if (done >= total)
        return 99;
    // In floating point, so no product of two 64-bit sizes can overflow.
    return (int32_t)((double)done * 99.0 / (double)total);
}

zip_source_t *CreateInputSource(ParallelCompressor *compressor, int entry, const InputFile &file,
                                ReadProgress *progress, zip_error_t *error)
{
    InputState *state = new InputState;
    state->compressor = compressor;
    state->entry = entry;
    state->file = file;
    state->progress = progress;
    state->ended = false;
    state->crc = 0;
    state->size = 0;
    zip_error_init(&state->error);
    zip_source_t *source = zip_source_function_create(HandleInput, state, error);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}
