// The ZIP library writes the archive through this source, which hands the bytes to a
// VolumeWriter. It never reads the archive back: the write is one pass. The library writes an
// entry as its local header, its data a few KB at a time and the header once more with the
// sizes; the source gathers the archive's last bytes and hands them over in large writes,
// rewriting a header in place while it is still gathered, so a small file costs a share of one
// write rather than several writes and seeks.
#pragma once
#include <zip.h>

#include "VolumeWriter.h"

// The writer must outlive the source. The writer's files are deleted on a rollback (the
// library failed or was cancelled) and when the library removes an archive with no entries.
zip_source_t *CreateOutputSource(VolumeWriter *writer, zip_error_t *error);
