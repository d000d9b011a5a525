// Formats or wipes the partition an image names, as its format text asks.
#pragma once

#include "crv_container.h"

// Runs, on the header's target and in this order, every command whose
// keyword the format text holds: "EXT4" mkfs.ext4 -F, "VFAT" mkfs.vfat,
// "NTFS" mkntfs -f, "SWAP" mkswap, "ERASE" "ERASEDB" at the start,
// "ERA-ANDROID" zeros over the first 4096 bytes. When the target carries the
// temporary folder's file system, that file system is unmounted first and
// mounted again (and the folder recreated) afterwards.
// 0; -1 when the unmount failed (nothing is formatted then unless the file
// system was no longer mounted); -22 for a missing header or a target that
// cannot stand in a command line. The user word is not used.
int crv_ostrel_emmc_common_format_cb(const crv_per_img_hdr *hdr, void *user);
