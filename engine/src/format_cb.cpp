// The eMMC format callback: keywords of the format text to format commands.
#include "crv_emmc_format.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Runs one keyword's command on the target; whether it succeeded.
bool run_format_command(const Keyword &k, const char *target)
{
	char cmd[256];
	snprintf(cmd, sizeof(cmd), k.command, target);
	int status;
	if (k.shell) {
		fflush(stdout);
		status = system(cmd);
	} else {
		status = crv_ostrel_system_status(cmd);
	}
	if (status != 0)
		printf("%s run %s fail !\n", "crv_ostrel_emmc_common_format_cb", cmd);
	return status == 0;
}

} // namespace

int crv_ostrel_check_target(const char *fn, const char *target)
{
	struct stat st;
	if (stat(target, &st) == 0)
		return 0;
	int err = errno;
	printf("%s target %s not found !\n", fn, target);
	return -err;
}

bool crv_ostrel_is_tmp_dev(const char *target)
{
	// An empty device means the temporary folder's file system was not
	// found; it then is on no target. The whole path must match
	// (/dev/mmcblk0p1 is not /dev/mmcblk0p10), or both name one device.
	const std::string &tmp_dev = crv_ostrel_context().tmp_dev;
	return !tmp_dev.empty() && (tmp_dev == target || same_block_device(target, tmp_dev.c_str()));
}

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

	// A missing device would come back as a new file from the shell's
	// redirection or dd.
	if (crv_ostrel_check_target(__func__, target.c_str()) != 0)
		return -1;

	int ret = 0;
	bool remount = false;
	if (crv_ostrel_is_tmp_dev(target.c_str())) {
		remount = true;
		if (umount(ctx.mount_point) != 0) {
			int err = errno;
			printf("%s umount fail : %s\n", __func__, strerror(err));
			// Still mounted: formatting under it would wreck it. Not
			// mounted at all (EINVAL): nothing stands in the way.
			if (err != EINVAL) {
				ret = -1;
				remount = false;
			}
		}
	}

	// The first command that fails fails the format.
	for (const Keyword &k : kKeywords) {
		if (ret != 0)
			break;
		if (strstr(text.c_str(), k.word) != nullptr && !run_format_command(k, target.c_str()))
			ret = -1;
	}

	if (remount) {
		crv_ostrel_mount_fs(ctx.tmp_dev.c_str(), ctx.mount_point, ctx.tmp_fs_type.c_str(), 5);
		if (crv_str_is_cmd_safe(ctx.tmp_folder)) {
			char cmd[256];
			snprintf(cmd, sizeof(cmd), "mkdir -p %s", ctx.tmp_folder);
			crv_ostrel_system(cmd);
		}
	}
	return ret;
}
