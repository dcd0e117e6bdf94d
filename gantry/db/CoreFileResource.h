#pragma once
// The packed core-file list compiled into the program: u32 length, then a zlib stream.

#include <cstddef>

namespace quillory {

extern const unsigned char CORE_FILE_RESOURCE[];
extern const size_t CORE_FILE_RESOURCE_SIZE;

} // namespace quillory
