#include "OutputSource.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <new>
#include <vector>

namespace {

const size_t GatheredBytes = 1 << 20;

struct OutputState {
    VolumeWriter *writer;
    std::vector<uint8_t> tail;   // the archive's last bytes, not yet handed to the writer
    uint64_t tailStart = 0;      // where they begin in the archive
    uint64_t position = 0;       // where the library writes next
    zip_error_t error;

    uint64_t End() const { return tailStart + tail.size(); }
};

zip_int64_t FailWith(OutputState *state, int zipError, int systemError)
{
    zip_error_set(&state->error, zipError, systemError);
    return -1;
}

// Hands bytes to the writer at the given place, which is within what it has or at its end.
bool HandOver(OutputState *state, uint64_t at, const uint8_t *bytes, size_t length)
{
    return state->writer->Seek(at) && state->writer->Write(bytes, length);
}

bool HandOverTail(OutputState *state)
{
    if (!HandOver(state, state->tailStart, state->tail.data(), state->tail.size()))
        return false;
    state->tailStart = state->End();
    state->tail.clear();
    return true;
}

bool Write(OutputState *state, const uint8_t *bytes, size_t length)
{
    while (length > 0) {
        size_t n;
        if (state->position < state->tailStart) {
            // A header rewrite behind what is gathered.
            n = (size_t)std::min<uint64_t>(length, state->tailStart - state->position);
            if (!HandOver(state, state->position, bytes, n))
                return false;
        } else if (state->position < state->End()) {
            n = (size_t)std::min<uint64_t>(length, state->End() - state->position);
            memcpy(&state->tail[(size_t)(state->position - state->tailStart)], bytes, n);
        } else {
            n = length;
            if (state->tail.size() + n > GatheredBytes && !HandOverTail(state))
                return false;
            if (n >= GatheredBytes) {
                if (!HandOver(state, state->position, bytes, n))
                    return false;
                state->tailStart = state->position + n;
            } else {
                state->tail.insert(state->tail.end(), bytes, bytes + n);
            }
        }
        bytes += n;
        length -= n;
        state->position += n;
    }
    return true;
}

zip_int64_t SeekWrite(OutputState *state, void *data, zip_uint64_t length)
{
    zip_source_args_seek_t *args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &state->error);
    if (!args)
        return -1;
    zip_int64_t base = args->whence == SEEK_SET ? 0
                     : args->whence == SEEK_CUR ? (zip_int64_t)state->position
                     : (zip_int64_t)state->End();
    zip_int64_t target = base + args->offset;
    if (args->whence < SEEK_SET || args->whence > SEEK_END || target < 0 || (uint64_t)target > state->End())
        return FailWith(state, ZIP_ER_SEEK, EINVAL);
    state->position = (uint64_t)target;
    return 0;
}

zip_int64_t DispatchOutput(OutputState *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    VolumeWriter *writer = state->writer;
    switch (command) {
    case ZIP_SOURCE_STAT:
        // There is no archive yet: the library then starts a new one.
        return FailWith(state, ZIP_ER_READ, ENOENT);
    case ZIP_SOURCE_BEGIN_WRITE:
        return 0;
    case ZIP_SOURCE_WRITE:
        if (!Write(state, static_cast<const uint8_t *>(data), (size_t)length))
            return FailWith(state, ZIP_ER_WRITE, (int)writer->LastError());
        return (zip_int64_t)length;
    case ZIP_SOURCE_SEEK_WRITE:
        return SeekWrite(state, data, length);
    case ZIP_SOURCE_TELL_WRITE:
        return (zip_int64_t)state->position;
    case ZIP_SOURCE_COMMIT_WRITE:
        if (!HandOverTail(state) || !writer->Commit())
            return FailWith(state, ZIP_ER_WRITE, (int)writer->LastError());
        return 0;
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
        state->tail.clear();
        writer->Discard();
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&state->error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&state->error);
        delete state;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        // The library insists on the whole writable set before it will write at all; the read
        // commands below it only ever refuse.
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                                              ZIP_SOURCE_SUPPORTS, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_COMMIT_WRITE,
                                              ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE,
                                              ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, -1);
    default:
        return FailWith(state, ZIP_ER_OPNOTSUPP, 0);
    }
}

// Called from the library's C code, which an exception must not cross: starting a new part
// allocates its name.
zip_int64_t HandleOutput(void *userdata, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    OutputState *state = static_cast<OutputState *>(userdata);
    try {
        return DispatchOutput(state, data, length, command);
    } catch (const std::bad_alloc &) {
        return FailWith(state, ZIP_ER_MEMORY, 0);
    }
}

}  // namespace

zip_source_t *CreateOutputSource(VolumeWriter *writer, zip_error_t *error)
{
    OutputState *state = new OutputState;
    state->writer = writer;
    zip_error_init(&state->error);
    zip_source_t *source = zip_source_function_create(HandleOutput, state, error);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}
