// Device nodes for host tests: makes stat() report a chosen file type and
// device number for a path (a regular file standing in for /dev/mtdN must
// look like a character device of major 90).
//
// Suites that use it are built with crv_add_gtest(... WRAP_STAT), which links
// with -Wl,--wrap=stat64 (the symbol stat() resolves to with 64-bit file
// offsets); every other stat passes through unchanged.
#pragma once

#include <string>
#include <sys/types.h>

namespace devsim {

// type is S_IFCHR or S_IFBLK. The path is resolved with realpath() now and at
// each stat, so the registration follows the file, not the spelling.
void set_node(const std::string &path, mode_t type, dev_t rdev);
void clear_nodes();

} // namespace devsim
