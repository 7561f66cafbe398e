#include "OutputSource.h"

#include <errno.h>
#include <stdio.h>
#include <new>

namespace {

struct OutputState {
    VolumeWriter *writer;
    zip_error_t error;
};

zip_int64_t FailWith(OutputState *state, int zipError, int systemError)
{
    zip_error_set(&state->error, zipError, systemError);
    return -1;
}

zip_int64_t SeekWrite(OutputState *state, void *data, zip_uint64_t length)
{
    zip_source_args_seek_t *args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &state->error);
    if (!args)
        return -1;
    VolumeWriter *writer = state->writer;
    zip_int64_t base = args->whence == SEEK_SET ? 0
                     : args->whence == SEEK_CUR ? (zip_int64_t)writer->Tell()
                     : (zip_int64_t)writer->Size();
    zip_int64_t target = base + args->offset;
    if (args->whence < SEEK_SET || args->whence > SEEK_END || target < 0 || !writer->Seek((uint64_t)target))
        return FailWith(state, ZIP_ER_SEEK, EINVAL);
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
        if (!writer->Write(data, length))
            return FailWith(state, ZIP_ER_WRITE, (int)writer->LastError());
        return (zip_int64_t)length;
    case ZIP_SOURCE_SEEK_WRITE:
        return SeekWrite(state, data, length);
    case ZIP_SOURCE_TELL_WRITE:
        return (zip_int64_t)writer->Tell();
    case ZIP_SOURCE_COMMIT_WRITE:
        if (!writer->Commit())
            return FailWith(state, ZIP_ER_WRITE, (int)writer->LastError());
        return 0;
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
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
