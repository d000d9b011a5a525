// Re-partitioning the eMMC from a "part_tbl" image whose payload is a text
// partition list ("name;sectors" lines) and whose target is the device. The
// engine's temporary folder lives on that device, so its file system is
// unmounted around the write through callbacks the program registers.
#pragma once

#include "crv_container.h"

using crv_ostrel_tmp_dir_mount = int (*)(void *arg);
using crv_ostrel_tmp_dir_umount = int (*)(void *arg);
using crv_ostrel_gpt_hook = void (*)(unsigned long word);

// Stores the mount and unmount callbacks and their argument (0 = success).
void crv_ostrel_set_gpt_remount_cb(crv_ostrel_tmp_dir_mount mount_cb, crv_ostrel_tmp_dir_umount umount_cb, void *arg);
// Stores the hook called before the unmount and the one called at the end
// of a successful run, with their words.
void crv_ostrel_set_gpt_hooks(crv_ostrel_gpt_hook before, crv_ostrel_gpt_hook after, unsigned long before_word,
			      unsigned long after_word);

// The image writer: stages the list to "/tmp/<image name>.div", unmounts the
// temporary folder's file system, writes the GUID partition table, has the
// kernel reread the partitions, runs "mdev -s" and mounts the file system
// again. 0; -22 without remount callbacks, for an image name that cannot
// name a file, or when a callback fails; -5 / -12 while staging; -1 when the
// list cannot be parsed or written, the device cannot be opened or the
// kernel refuses to reread it.
int crv_ostrel_update_gpt_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
