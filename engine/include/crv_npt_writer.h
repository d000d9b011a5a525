// Image writer for the NAND partition table: the payload is the text table,
// written to the MTD partition the header names in its 0x808-byte binary
// form.
#pragma once

#include "crv_container.h"

// Where the binary table is staged on its way to the flash.
inline constexpr const char *CRV_NPT_BIN_PATH = "/tmp/npt.bin";

// 0; -1 when the payload is over 4096 bytes, cannot be read, or its unit is
// not the flash's erase-block size; the parser's result when the table is
// refused; -5 when the staged file fails; the MTD layer's result when the
// erase or the write fails. The user word is not used.
int crv_ostrel_nand_npt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
