// The input of the ioctl fuzz targets: a node selector byte, then up to 16
// call records
//   u32 cmd | u8 how | u16 len (little-endian) | len argument bytes
// how bit 0: the 32-bit entry (compat_ioctl); bit 1: the argument is the
// first 8 bytes as a number, else it is a pointer to the bytes, which lie at
// kArgAddr in user memory.
#pragma once

#include <cstdint>

// The start of the host kernel's user region, where it lies whenever that
// address is free: pointers in an input that lead into its own argument
// bytes start from here.
constexpr uint64_t kArgAddr = 0x20000000;
constexpr uint8_t kCallCompat = 1;
constexpr uint8_t kCallScalar = 2;
