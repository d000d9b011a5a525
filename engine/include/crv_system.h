// Engine system services: the command runner, mounting, the temporary
// folder's file system, the standby controller's SPI switch, EXT_CSD, the
// ADC timer, and the boot and dual-boot records of the misc partition.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Command lines ---------------------------------------------------------

// Whether a string may stand as one word of a command line, with or without a
// shell: non-empty, only letters, digits and / . _ + , = : @ % -, and not
// starting with '-' (it would read as an option). Every string that comes
// from an image or a setting passes this before it is put into a command.
bool crv_str_is_cmd_safe(const char *s);

// Whether an image name may name a file in the temporary folder: a safe
// command word without '/' and not "." or "..".
bool crv_img_name_is_safe(const char *name);

// Runs a command line without a shell. The line is cut at every single space
// (consecutive spaces give empty words); the first word is looked up in PATH.
// Returns 0 when the program ran, whatever its exit status; -12 when the line
// cannot be copied, -22 for more than 64 words, -8 when no process can be
// created. A null line returns 0.
int crv_ostrel_system(const char *cmdline);

// As crv_ostrel_system (messages included), but returns the command's exit
// status (0..255), 127 when the program could not be started, 128 + signal
// when a signal ended it, or the same negative results.
int crv_ostrel_system_status(const char *cmdline);

// ---- Mounting --------------------------------------------------------------

// mount(2) of device on mount_point with type, no flags, no data, after
// waiting up to tries seconds for the device. The result of mount(2) (0 or
// -1), or -14 when the device or the mount point does not exist or tries < 1.
int crv_ostrel_mount_fs(const char *device, const char *mount_point, const char *fs_type, int tries);
int crv_ostrel_mount_vfat(const char *device, const char *mount_point, int tries);

// Finds the /proc/mounts line whose mount-point field is the engine's mount
// point and stores its device and file-system type in the engine context.
// 0 (also when no line matches; the fields are then unchanged), -22 when no
// mount point is set, -5 when /proc/mounts cannot be opened.
int crv_ostrel_parse_tmp_folder_info();

// ---- Devices ---------------------------------------------------------------

// Writes "1" (lock nonzero) or "0" to the standby controller's SPI switch.
// 0, or -9 when the switch cannot be opened.
int crv_ostrel_stbc_lock_spi(int lock);

// Reads the 512-byte EXT_CSD of an eMMC device into buf. The ioctl's result
// (0 on success), -5 when the device cannot be opened.
int crv_ostrel_read_ext_csd(const char *dev, uint8_t *buf);

// Sets (init) or clears (deinit, only when it holds 0xC0) the ADC timer
// register through /dev/mem. Always 0.
int crv_ostrel_init_adc_timer();
int crv_ostrel_deinit_adc_timer();

// ---- Misc-partition records ------------------------------------------------

constexpr uint32_t CRV_MISC_REC_SIZE = 512;
constexpr uint32_t CRV_DUAL_BOOT_REC_SIZE = 64;

// Little-endian, 512 bytes at offset 0 of the misc device.
struct crv_boot_flag_rec {
	char magic[4]; // "BTFG"
	uint32_t flag1;
	uint32_t flag2;
	uint32_t flag3;
	uint8_t reserved[496];
};
static_assert(sizeof(crv_boot_flag_rec) == 512);
static_assert(offsetof(crv_boot_flag_rec, flag1) == 4);
static_assert(offsetof(crv_boot_flag_rec, flag3) == 12);
static_assert(offsetof(crv_boot_flag_rec, reserved) == 16);

// Little-endian, at offset 0 of the misc device.
struct crv_dual_boot_flag_rec {
	char magic[4]; // "DBFG"
	uint32_t a;
	uint32_t b;
	uint32_t c;
	int32_t d;
	int32_t e;
	uint8_t reserved[40];
};
static_assert(sizeof(crv_dual_boot_flag_rec) == CRV_DUAL_BOOT_REC_SIZE);
static_assert(offsetof(crv_dual_boot_flag_rec, d) == 16);
static_assert(offsetof(crv_dual_boot_flag_rec, e) == 20);
static_assert(offsetof(crv_dual_boot_flag_rec, reserved) == 24);

// How many bytes the dual-boot writer puts on the misc device: the 64-byte
// record (the default, as fwupdate writes it), or 512 (the record followed
// by zeros, as preinst writes it). Other values are refused with -22.
int crv_ostrel_set_dual_boot_rec_len(uint32_t len);

// Write the records to the misc device and make sure they reached it:
// 0, -5 (open, write, flush or close failed), or the failed seek's result.
int crv_ostrel_write_boot_flag(int a, int b, int c);
int crv_ostrel_write_dual_boot_flag(int a, int b, int c, int d, int e);
