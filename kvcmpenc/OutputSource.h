// The ZIP library writes the archive through this source, which hands the bytes to a
// VolumeWriter. It never reads the archive back: the write is one pass.
#pragma once
#include <zip.h>

#include "VolumeWriter.h"

// The writer must outlive the source. The writer's files are deleted on a rollback (the
// library failed or was cancelled) and when the library removes an archive with no entries.
zip_source_t *CreateOutputSource(VolumeWriter *writer, zip_error_t *error);
