// Which eMMC hardware partition the chip boots from: the boot-partition-enable
// field (bits 3 to 5) of EXT_CSD byte 179, PARTITION_CONFIG.
#pragma once

// The selected boot partition (0 none, 1 boot partition 1, 2 boot partition
// 2; 0 to 7 as the card holds it), or the EXT_CSD read's nonzero result.
int crv_ostrel_get_emmc_boot_part(const char *dev);

// Selects boot partition id (0, 1 or 2) with a SWITCH command that rewrites
// byte 179, keeping its other bits. 0; -1 for an id outside 0 to 2 (the
// device is not touched); the EXT_CSD read's nonzero result; -5 when the
// device cannot be opened; the failed ioctl's result.
int crv_ostrel_set_emmc_boot_part(const char *dev, int id);
