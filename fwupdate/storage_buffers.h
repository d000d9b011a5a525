// The two payload buffers (a folder on apdat, and USB storage for images
// that do not fit there), the default image writer that chooses between
// them, and the callbacks the re-partition writer calls around its work.
#pragma once

#include <cstdint>

struct crv_per_img_hdr;
struct crv_per_img_handle;

struct tmp_mount_cfg_t {
	const char *device;
	const char *mount_point;
};

struct storage_buffer_t {
	char device[64];
	char mount_point[64];
	char folder[64];
	uint64_t free_bytes; // 0 until measured
};

enum { PRIMARY_BUFFER = 0, SECONDARY_BUFFER = 1 };

extern tmp_mount_cfg_t tmp_mount_cfg;
extern storage_buffer_t storage_buffer_cfg[2];

// Space kept free on either buffer.
inline constexpr uint64_t BUFFER_RESERVE = 0x500000;

// Prints "%s%.2f%c\n": the prefix and the count in B, K, M or G.
void print_size_text(const char *prefix, uint64_t count);

// Free bytes less the reserve; 0 when there is no more than the reserve.
uint64_t usable_space(uint64_t free_bytes);

enum class buffer_choice { primary, secondary, none };
// Where a payload of `length` bytes is staged: the primary buffer when it is
// smaller than the usable primary space, else the secondary one when it is
// smaller than that, else nowhere.
buffer_choice choose_buffer(uint64_t length, uint64_t primary_free, uint64_t secondary_free);

// Mounts (formatting when needed) and measures both buffers; payloads an
// interrupted run left staged on the primary one are removed first.
int init_storage_buffers();

// Stages the image on the buffer that has room for it (after removing a copy
// an interrupted run staged for it there) and writes it with the eMMC writer.
int my_default_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user);
int my_tmp_mount_cb(void *cfg);
int my_tmp_umount_cb(void *cfg);

// How often my_tmp_mount_cb formats and mounts again before it gives the
// primary buffer up, and the pause between two rounds (seconds).
inline constexpr int TMP_MOUNT_ROUNDS = 3;
inline constexpr unsigned TMP_MOUNT_PAUSE_S = 1;
