#include "InputSource.h"

#include <windows.h>

namespace {

struct InputState {
    InputFile file;
    ReadProgress *progress;
    HANDLE handle;
    zip_error_t error;
};

zip_int64_t FailWith(InputState *state, int zipError, DWORD systemError)
{
    zip_error_set(&state->error, zipError, (int)systemError);
    return -1;
}

// Remembers which file could not be read, so the archive can be made again without it.
zip_int64_t FailReading(InputState *state, int zipError, DWORD systemError)
{
    if (state->progress->failedFile < 0) {
        state->progress->failedFile = state->file.index;
        state->progress->failedError = systemError;
    }
    return FailWith(state, zipError, systemError);
}

zip_int64_t OpenInput(InputState *state)
{
    // Files still open for writing by other programs are read too (the -ssw switch).
    state->handle = CreateFileW(state->file.path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (state->handle == INVALID_HANDLE_VALUE)
        return FailReading(state, ZIP_ER_OPEN, GetLastError());
    return 0;
}

zip_int64_t ReadInput(InputState *state, void *data, zip_uint64_t length)
{
    ReadProgress *progress = state->progress;
    if (IsCancelled(progress))
        return FailWith(state, ZIP_ER_CANCELLED, 0);
    DWORD wanted = length > (1u << 20) ? (1u << 20) : (DWORD)length;
    DWORD got = 0;
    if (!ReadFile(state->handle, data, wanted, &got, nullptr))
        return FailReading(state, ZIP_ER_READ, GetLastError());
    progress->bytesDone += got;
    if (progress->progress)
        *progress->progress = ComputeProgressPercent(progress->bytesDone, progress->bytesTotal);
    return (zip_int64_t)got;
}

zip_int64_t StatInput(InputState *state, void *data, zip_uint64_t length)
{
    zip_stat_t *st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &state->error);
    if (!st)
        return -1;
    zip_stat_init(st);
    st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    st->size = state->file.size;
    st->mtime = state->file.modified;
    return sizeof(zip_stat_t);
}

void CloseInput(InputState *state)
{
    if (state->handle != INVALID_HANDLE_VALUE)
        CloseHandle(state->handle);
    state->handle = INVALID_HANDLE_VALUE;
}

zip_int64_t HandleInput(void *userdata, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    InputState *state = static_cast<InputState *>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        return OpenInput(state);
    case ZIP_SOURCE_READ:
        return ReadInput(state, data, length);
    case ZIP_SOURCE_CLOSE:
        CloseInput(state);
        return 0;
    case ZIP_SOURCE_STAT:
        return StatInput(state, data, length);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&state->error, data, length);
    case ZIP_SOURCE_FREE:
        CloseInput(state);
        zip_error_fini(&state->error);
        delete state;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
    default:
        return FailWith(state, ZIP_ER_OPNOTSUPP, 0);
    }
}

}  // namespace

bool IsCancelled(ReadProgress *progress)
{
    if (progress->cancelFlag && *progress->cancelFlag == 1)
        progress->cancelled = true;
    return progress->cancelled;
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

zip_source_t *CreateInputSource(const InputFile &file, ReadProgress *progress, zip_error_t *error)
{
    InputState *state = new InputState;
    state->file = file;
    state->progress = progress;
    state->handle = INVALID_HANDLE_VALUE;
    zip_error_init(&state->error);
    zip_source_t *source = zip_source_function_create(HandleInput, state, error);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}
