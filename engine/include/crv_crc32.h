// The engine's one CRC-32 table: reflected, polynomial 0xEDB88320. Its users
// differ only in how they start and finish the running value.
#pragma once

#include <cstddef>
#include <cstdint>

// Runs the table over len bytes from the running value crc, with no
// inversion on entry or exit: the caller chooses the start value (0 for the
// NAND partition table, 0xFFFFFFFF for UBI) and uses the result as it is.
uint32_t crv_crc32_raw(uint32_t crc, const void *buf, size_t len);
