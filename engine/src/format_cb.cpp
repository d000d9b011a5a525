// The eMMC format callback: keywords of the format text to format commands.
#include "crv_emmc_format.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crv_ostrel_ctx.h"
#include "crv_system.h"

namespace {

struct Keyword {
	const char *word;
	const char *command;
	bool shell;
};

// Tested in this order, each on its own; "ERA-ANDROID" does not hold "ERASE".
constexpr Keyword kKeywords[] = {
	{"EXT4", "mkfs.ext4 -F %s", false},
	{"VFAT", "mkfs.vfat %s", false},
	{"NTFS", "mkntfs -f %s", false},
	{"SWAP", "mkswap %s", false},
	{"ERASE", "echo ERASEDB > %s", true},
	{"ERA-ANDROID", "dd if=/dev/zero of=%s bs=512 count=8 2>/tmp/dd_progress", true},
};

// Whether two paths name the same block device (a link and the kernel's
// name of one partition, say).
bool same_block_device(const char *a, const char *b)
{
	struct stat sa, sb;
	if (stat(a, &sa) != 0 || stat(b, &sb) != 0)
		return false;
	return S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode) && sa.st_rdev == sb.st_rdev;
}

} // namespace

int crv_ostrel_emmc_common_format_cb(const crv_per_img_hdr *hdr, void *)
{
	if (hdr == nullptr)
		return -22;
	crv_ostrel_ctx &ctx = crv_ostrel_context();
	const auto target = crv_hdr_target(*hdr);
	const auto text = crv_hdr_param(*hdr);
	if (!crv_str_is_cmd_safe(target.c_str())) {
		printf("%s invalid target %s !\n", __func__, target.c_str());
		return -22;
	}

	// An empty device means the temporary folder's file system was not
	// found; it then is on no target.
	int ret = 0;
	bool remount = false;
	bool formattable = true;
	const char *tmp_dev = ctx.tmp_dev;
	if (tmp_dev[0] != '\0' &&
	    (strstr(target.c_str(), tmp_dev) != nullptr || same_block_device(target.c_str(), tmp_dev))) {
		remount = true;
		if (umount(ctx.mount_point) != 0) {
			int err = errno;
			printf("%s umount fail : %s\n", __func__, strerror(err));
			ret = -1;
			// Still mounted: formatting under it would wreck it.
			if (err != EINVAL) {
				formattable = false;
				remount = false;
			}
		}
	}

	if (formattable) {
		char cmd[256];
		for (const Keyword &k : kKeywords) {
			if (strstr(text.c_str(), k.word) == nullptr)
				continue;
			snprintf(cmd, sizeof(cmd), k.command, target.c_str());
			if (k.shell) {
				fflush(stdout);
				int r = system(cmd);
				(void)r; // not examined
			} else {
				crv_ostrel_system(cmd);
			}
		}
	}

	if (remount) {
		crv_ostrel_mount_fs(ctx.tmp_dev, ctx.mount_point, ctx.tmp_fs_type, 5);
		if (crv_str_is_cmd_safe(ctx.tmp_folder)) {
			char cmd[256];
			snprintf(cmd, sizeof(cmd), "mkdir -p %s", ctx.tmp_folder);
			crv_ostrel_system(cmd);
		}
	}
	return ret;
}
