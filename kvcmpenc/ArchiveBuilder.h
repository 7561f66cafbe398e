// One RunDLLCommand call: parse the command line, read the list, write the archive.
#pragma once
#include <stdint.h>

#include "CompressionRequest.h"

// Returns a CompressionResult. May throw std::bad_alloc; the export turns that into code 8
// after every file made has been deleted.
int32_t BuildArchive(const CompressionRequest &request);
