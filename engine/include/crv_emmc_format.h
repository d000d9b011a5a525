// Formats or wipes the partition an image names, as its format text asks.
#pragma once

#include "crv_container.h"

// Runs, on the header's target and in this order, every command whose
// keyword the format text holds: "EXT4" mkfs.ext4 -F, "VFAT" mkfs.vfat,
// "NTFS" mkntfs -f, "SWAP" mkswap, "ERASE" "ERASEDB" at the start,
// "ERA-ANDROID" zeros over the first 4096 bytes. When the target carries the
// temporary folder's file system, that file system is unmounted first and
// mounted again (and the folder recreated) afterwards.
// 0 when every command asked for succeeded; -1 when the target does not
// exist, the file system could not be unmounted (still mounted: nothing is
// formatted) or a command failed (the ones after it do not run); -22 for a
// missing header or a target that cannot stand in a command line. The user
// word is not used.
int crv_ostrel_emmc_common_format_cb(const crv_per_img_hdr *hdr, void *user);

// Whether the target is the device that carries the temporary folder's file
// system: the same path, or a path to the same block device.
bool crv_ostrel_is_tmp_dev(const char *target);

// 0 when the target exists; else prints "%s target %s not found !" with fn
// and returns -errno. Writers put images on existing devices only: a missing
// one must fail its image, not become a new file.
int crv_ostrel_check_target(const char *fn, const char *target);
