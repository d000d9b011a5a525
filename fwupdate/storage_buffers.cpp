#include "storage_buffers.h"

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "crv_container.h"
#include "crv_emmc_writer.h"
#include "crv_ostrel_ctx.h"
#include "crv_system.h"
#include "crv_text.h"
#include "fwupdate_state.h"
#include "gray_list.h"

tmp_mount_cfg_t tmp_mount_cfg = {FWUP_APDAT_DEVICE, FWUP_DATA_MOUNT};

storage_buffer_t storage_buffer_cfg[2] = {
	{"/dev/crv-part-name/apdat", "/data", "/data/.fwup", 0},
	{"/dev/sda1", "/media/sda1", "/media/sda1", 0},
};

namespace {

constexpr const char *MKFS_LINE = "mkfs.ext4 -F -E nodiscard,lazy_journal_init=1 -T largefile %s";

void format_ext4(const char *device)
{
	char cmd[160];
	snprintf(cmd, sizeof(cmd), MKFS_LINE, device);
	crv_ostrel_system(cmd);
}

// Measures a buffer's folder; prints "<label><folder>: <size>".
void measure(storage_buffer_t &b, const char *label)
{
	struct statfs st;
	if (statfs(b.folder, &st) != 0) {
		int err = errno;
		b.free_bytes = 0;
		printf("statfs failed. (err: %d, %s)\n", err, strerror(err));
		return;
	}
	b.free_bytes = static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_bsize);
	char prefix[96];
	snprintf(prefix, sizeof(prefix), "%s%s: ", label, b.folder);
	print_size_text(prefix, b.free_bytes);
}

// Whether a file system is mounted at the folder: it lies on another device
// than its parent folder (or is the root).
bool is_mount_point(const char *folder)
{
	struct stat here, parent;
	char up[80];
	snprintf(up, sizeof(up), "%s/..", folder);
	return stat(folder, &here) == 0 && stat(up, &parent) == 0 &&
	       (here.st_dev != parent.st_dev || here.st_ino == parent.st_ino);
}

// The image writers stage a payload as "<folder>/<image name>.div" and
// remove it when they return; a run that lost power leaves it behind.
constexpr const char *STAGED_SUFFIX = ".div";

// Removes what an interrupted run staged at path; the bytes that gives back
// to its file system.
uint64_t remove_stale(const std::string &path)
{
	struct stat st;
	if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || unlink(path.c_str()) != 0)
		return 0;
	char prefix[160];
	snprintf(prefix, sizeof(prefix), "Remove stale %s: ", path.c_str());
	print_size_text(prefix, static_cast<uint64_t>(st.st_size));
	return S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_blocks) * 512 : 0;
}

// Every payload staged in the folder: at start none belongs to this run,
// and the folder holds nothing else anyone relies on.
void remove_stale_payloads(const char *folder)
{
	std::vector<std::string> stale;
	if (DIR *dir = opendir(folder)) {
		while (const dirent *de = readdir(dir)) {
			const std::string name = de->d_name;
			if (name.size() > strlen(STAGED_SUFFIX) && name.ends_with(STAGED_SUFFIX))
				stale.push_back(std::string(folder) + "/" + name);
		}
		closedir(dir);
	}
	for (const auto &path : stale)
		remove_stale(path);
}

} // namespace

int init_storage_buffers()
{
	storage_buffer_t &p = storage_buffer_cfg[PRIMARY_BUFFER];
	mkdir(p.mount_point, 0775);
	bool mounted = mount(p.device, p.mount_point, "ext4", 0, nullptr) == 0;
	if (!mounted) {
		perror("mount");
		format_ext4(p.device);
		mounted = mount(p.device, p.mount_point, "ext4", 0, nullptr) == 0;
	}
	if (mounted) {
		mkdir(p.folder, 0775);
		remove_stale_payloads(p.folder);
		measure(p, "Capacity of ");
	} else {
		p.free_bytes = 0;
	}

	storage_buffer_t &s = storage_buffer_cfg[SECONDARY_BUFFER];
	struct stat st;
	if (stat(s.device, &st) != 0) {
		if (stat("/dev/sda", &st) != 0)
			return -1;
		crv_text_copy(s.device, "/dev/sda");
		crv_text_copy(s.mount_point, "/media/sda");
		crv_text_copy(s.folder, "/media/sda");
	}
	if (!S_ISBLK(st.st_mode))
		return 0;
	int rc = crv_ostrel_mount_vfat(s.device, s.mount_point, 5);
	if (rc != 0) {
		int err = errno;
		printf("Mount %s failed! (errno: %d, %s)\n", s.device, err, strerror(err));
		// A stick the system mounted there already (exFAT, NTFS) is the
		// buffer all the same; a bare folder would count the root file
		// system's space as the USB buffer's.
		if (!is_mount_point(s.folder)) {
			s.free_bytes = 0;
			return rc;
		}
	}
	measure(s, "Capacity of ");
	return rc;
}

int my_default_update_cb(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user)
{
	auto name = crv_hdr_name(*hdr);
	if (gray_list_holds(name.c_str())) {
		printf("%s in Gray List, ignored!\n", name.c_str());
		return 0;
	}
	// A copy an interrupted run staged for this image on a buffer in use
	// takes room this one needs. (A name that could reach outside the
	// folder is refused by the writer.)
	for (storage_buffer_t &b : storage_buffer_cfg)
		if (b.free_bytes != 0 && crv_img_name_is_safe(name.c_str()))
			b.free_bytes += remove_stale(std::string(b.folder) + "/" + name.c_str() + STAGED_SUFFIX);
	const uint64_t primary = storage_buffer_cfg[PRIMARY_BUFFER].free_bytes;
	const uint64_t secondary = storage_buffer_cfg[SECONDARY_BUFFER].free_bytes;
	const buffer_choice where = choose_buffer(hdr->length, primary, secondary);
	if (where == buffer_choice::primary)
		return crv_ostrel_emmc_common_update_cb(hdr, handle, user);

	char prefix[40];
	snprintf(prefix, sizeof(prefix), "%s needs ", name.c_str());
	print_size_text(prefix, hdr->length);
	if (where == buffer_choice::none) {
		printf("Error! Insufficient space.");
		return -5;
	}
	const char *secondary_folder = storage_buffer_cfg[SECONDARY_BUFFER].folder;
	printf("Try to use Secondary Buffer(%s)!\n", secondary_folder);
	char saved[65];
	crv_text_copy(saved, crv_ostrel_get_tmp_folder());
	crv_ostrel_set_tmp_folder(secondary_folder);
	int rc = crv_ostrel_emmc_common_update_cb(hdr, handle, user);
	printf("Swap back to primary buffer(%s).\n", saved);
	crv_ostrel_set_tmp_folder(saved);
	return rc;
}

int my_tmp_mount_cb(void *arg)
{
	const tmp_mount_cfg_t *cfg = static_cast<const tmp_mount_cfg_t *>(arg);
	storage_buffer_t &p = storage_buffer_cfg[PRIMARY_BUFFER];
	bool mounted = false;
	for (int round = 0; round < TMP_MOUNT_ROUNDS && !mounted; round++) {
		if (round > 0)
			sleep(TMP_MOUNT_PAUSE_S);
		if (crv_ostrel_mount_fs(cfg->device, cfg->mount_point, "ext4", 5) == 0) {
			mounted = true;
			break;
		}
		puts("Mount failed\r");
		format_ext4(cfg->device);
		mounted = crv_ostrel_mount_fs(cfg->device, cfg->mount_point, "ext4", 5) == 0;
		if (!mounted)
			puts("Format and mount again\r");
	}
	if (!mounted) {
		// Later images fall through to the secondary buffer or fail for
		// lack of space, which the update reports.
		printf("Give up mounting %s after %d rounds\r\n", cfg->device, TMP_MOUNT_ROUNDS);
		p.free_bytes = 0;
		return 0;
	}
	mkdir(p.folder, 0775);
	measure(p, "Update capacity of ");
	return 0;
}

int my_tmp_umount_cb(void *arg)
{
	const tmp_mount_cfg_t *cfg = static_cast<const tmp_mount_cfg_t *>(arg);
	umount(cfg->mount_point);
	return 0;
}
