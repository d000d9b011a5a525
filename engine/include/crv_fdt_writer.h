// Image writers for flattened device trees: each sets /chosen "bootargs"
// from the header's format text on the way to the target. The payload is a
// bare blob or a legacy boot-loader image (64-byte header, then the blob),
// whose data size and CRCs are recomputed after the edit. A pack holds one
// blob per 128 KiB slot; the fdt-pack hook's id string picks the one edited.
//
// Every writer is a crv_img_cb_fn: 0 on success, else a negative errno (or
// the MTD layer's result for the NAND writer). The user word is not used.
#pragma once

#include <cstdint>
#include <string>

#include "crv_container.h"

// A single blob is read into a buffer of this size and written whole.
inline constexpr uint32_t CRV_FDT_BUF_SIZE = 512 * 1024;
// Distance between the blobs of a pack.
inline constexpr uint32_t CRV_FDT_PACK_SLOT = 0x20000;
inline constexpr uint32_t CRV_LEGACY_HDR_SIZE = 64;

// One blob (at most 512 KiB), written as 512 KiB at the target offset.
int crv_ostrel_emmc_fdt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// As above, then the blob's demura region goes to the engine context for
// the tcon writer.
int crv_ostrel_emmc_fdt_tcon_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// As the single-blob writer, with the ramdisk size in the "initrd=" argument
// taken from the companion boot image ("boot" for "fdt0", else "recovery").
int crv_ostrel_emmc_android_fdt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// A pack: the selected blob is edited and the whole payload written.
int crv_ostrel_emmc_fdt_pack_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
int crv_ostrel_emmc_fdt_pack_tcon_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// A pack whose new boot arguments keep the console of the pack in the flash.
int dlx_emmc_fdt_pack_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// One blob to a NAND partition.
int crv_ostrel_nand_fdt_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);

// The legacy image header over the blob that follows it (hdr64 + 64 or a
// later pack slot): data size, data CRC and header CRC.
void crv_fdt_fix_legacy_hdr(uint8_t *hdr64, const void *fdt);

// The console setting "console=<tty>,115200" from boot arguments, or the
// default "console=ttyS0,115200" when they name none.
std::string crv_fdt_console_setting(const char *bootargs);
// The new boot arguments from src with every console word but the last
// replaced by setting; false when they do not fit in 1024 bytes.
bool crv_fdt_merge_console(const char *src, const std::string &setting, std::string *out);

// tcon data partition: the eMMC common writer, then the demura region found
// by a tcon-aware fdt writer stamped at byte 0 as {u32 start, u32 size}.
int crv_ostrel_emmc_tcon_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
// Writes the 8-byte record at byte 0 of target: 0, or -1.
int crv_update_tcon_paras(const char *target, uint32_t start, uint32_t size);
