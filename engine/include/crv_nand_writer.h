// Image writers for raw NAND partitions (the header's target names the MTD
// character device), and the legacy boot-loader image test.
//
// Every writer is a crv_img_cb_fn: 0 on success, else a negative errno or
// what the MTD layer returned. The user word is not used. Each checks the
// payload against the partition before it erases anything; all but the UBI
// writer stage it in the temporary folder as "%s/%s.div" first.
#pragma once

#include <cstdint>

#include "crv_container.h"

// Erases the partition and writes the payload as it is.
int crv_ostrel_nand_raw_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// With "eraseOnly" in the format text only erases the partition; otherwise
// as crv_ostrel_nand_raw_update_cb.
int crv_ostrel_nand_raw_update_w_erase_flag_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// The standby controller's image, with the OOB template FF FF 00 00 on its
// first page, written with the SPI lock switch set.
int crv_ostrel_nand_stbc_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// The boot loader, with the OOB template FF FF 01 00 on its first page.
int crv_ostrel_nand_xboot_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// As the stbc writer, carrying the panel fields and the EDID over from the
// image in the flash. The payload must be one image of 0x9000 to 0x20000
// bytes.
int crv_ostrel_nand_stbc_with_edid_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// A UBI image, written straight from the container by the UBI writer, which
// erases each block right before it writes it and so keeps the partition's
// wear counts.
int crv_ostrel_nand_ubi_img_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);

// 1 when buf starts with the legacy boot-loader image magic 27 05 19 56.
int crv_ostrel_is_uimage_hdr(const void *buf);

// Offsets the EDID-preserving writer carries over.
inline constexpr uint32_t CRV_STBC_IMG_SIZE = 0x20000;
inline constexpr uint32_t CRV_STBC_EDID_MIN_SIZE = 0x9000;
