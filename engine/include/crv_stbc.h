// Writers of the standby controller's firmware, which lives in a SPI NOR
// flash exposed as an MTD character device (the image header's target). The
// writers hold the kernel's SPI lock switch while they erase and write, so
// that the controller keeps off the shared bus.
#pragma once

#include <cstdint>

#include "crv_container.h"

// Largest payload the buffered writers take (0x20000, "CRVFWUP_STBC_BUF_SZ").
inline constexpr uint32_t CRVFWUP_STBC_BUF_SZ = 0x20000;
// Attempts of the writers that read back and compare.
inline constexpr int CRV_STBC_MAX_ATTEMPTS = 30;

// Erases from the header's offset (rounded down to the erase size) and writes
// the payload once, in 10240-byte pieces. 0; -5 open, info, erase, seek, read
// or write failure; -95 on a NAND device; -22 when the payload does not fit
// the device. Releases the lock switch on every path.
int crv_ostrel_spi_stbc_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);

// Erases, writes, reads back and compares, up to CRV_STBC_MAX_ATTEMPTS times.
// 0; -12 for a payload over CRVFWUP_STBC_BUF_SZ (before anything is opened
// or locked); -5, -95, -22 as above; -22 after the last failed attempt.
// Leaves the lock switch set.
int crv_ostrel_spi_stbc_update_w_retry_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);

// For the x50219 controller's 128 KiB image: when the image's head and end
// tags agree, carry the reference pattern, and the flash holds the same tags
// and revision, rewrites everything but the first 4 KiB (the controller's
// loader); otherwise the full update of crv_ostrel_spi_stbc_update_w_retry_cb.
int crv_ostrel_x50219_spi_stbc_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);

// Checks the flash copy of an x50219 image (at the header's offset) against
// the image's 7-byte head tag: 0 all pass, -1 a tag or the revision differs,
// or a negative errno.
int x50219_spi_stbc_check_pattern(const crv_per_img_hdr *hdr, const uint8_t *head_tag);
