#include "preinst.h"

#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "crv_system.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kInstallIcon = "/res/images/icon_installing.png";
constexpr const char *kSysRunBundle = "/tmp/sys_run.tgz";

struct FreeDeleter {
	void operator()(void *p) const { free(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;

// Reads the payload of the named image into memory. On failure prints the
// given messages and returns the negative result; *len gets the length.
int read_payload(FILE *img, const char *name, Buffer &buf, size_t *len, const char *read_fail)
{
	crv_per_img_hdr hdr;
	crv_per_img_handle handle;
	memset(&hdr, 0, sizeof(hdr));
	memset(&handle, 0, sizeof(handle));
	int rc = crv_ostrel_get_per_img_by_name(img, name, &hdr, &handle);
	if (rc < 0)
		return rc;
	// The payload is read in one piece: its length must fit the address space.
	if (handle.length > UINT32_MAX || handle.length > SIZE_MAX) {
		puts(read_fail);
		return -5;
	}
	size_t n = static_cast<size_t>(handle.length);
	buf.reset(static_cast<uint8_t *>(malloc(n ? n : 1)));
	if (!buf) {
		puts("allocate buffer fail !");
		return -12;
	}
	if (fread(buf.get(), 1, n, handle.stream) != n) {
		puts(read_fail);
		return -5;
	}
	*len = n;
	return 0;
}

// Writes the whole buffer to the stream, syncs and closes it: whether all of
// that succeeded.
bool write_file(FILE *fp, const uint8_t *data, size_t len)
{
	bool ok = fwrite(data, 1, len, fp) == len && fflush(fp) == 0 && fsync(fileno(fp)) == 0;
	return fclose(fp) == 0 && ok;
}

// A new file at path, opened for writing: whatever was there (a file left
// over, or a link a user put in a shared folder) is removed first, and the
// file is created exclusively without following links, so root writes only
// the file it made.
FILE *create_fresh(const char *path, mode_t mode)
{
	if (unlink(path) != 0 && errno != ENOENT)
		return nullptr;
	int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
	if (fd < 0)
		return nullptr;
	FILE *fp = fdopen(fd, "wb");
	if (fp == nullptr)
		close(fd);
	return fp;
}

// The file the icon path stands for: the icon itself, or the file its
// symbolic link leads to (which need not exist yet).
std::string icon_file()
{
	char resolved[PATH_MAX];
	if (realpath(kInstallIcon, resolved) != nullptr)
		return resolved;
	char link[PATH_MAX];
	ssize_t n = readlink(kInstallIcon, link, sizeof(link) - 1);
	if (n <= 0)
		return kInstallIcon;
	link[n] = '\0';
	if (link[0] == '/')
		return link;
	std::string dir(kInstallIcon);
	return dir.substr(0, dir.rfind('/') + 1) + link;
}

} // namespace

int replace_install_icon(FILE *img)
{
	Buffer buf;
	size_t len = 0;
	int rc = read_payload(img, "install_icon", buf, &len, "read new install icon fail !");
	if (rc < 0)
		return rc;
	const int result = static_cast<int>(len > INT32_MAX ? INT32_MAX : len);

	// The new icon goes to a file beside the old one, with the old one's
	// mode and owner, and replaces it only once written in full, so a
	// failure leaves the old icon in place. A symbolic link stays: the file
	// it leads to is replaced.
	const std::string icon = icon_file();
	const std::string fresh = icon + ".new";
	struct stat old;
	const bool had_icon = stat(icon.c_str(), &old) == 0;
	if (FILE *fp = create_fresh(fresh.c_str(), had_icon ? old.st_mode & 07777 : 0644)) {
		bool ok = !had_icon || (fchown(fileno(fp), old.st_uid, old.st_gid) == 0 &&
					fchmod(fileno(fp), old.st_mode & 07777) == 0);
		ok = write_file(fp, buf.get(), len) && ok;
		if (!ok || rename(fresh.c_str(), icon.c_str()) != 0) {
			puts("replace install icon fail !");
			unlink(fresh.c_str());
			return -5;
		}
		return result;
	}
	// A folder that takes no new file: the icon is overwritten where it
	// is, now that the whole payload is in memory.
	if (errno != EROFS && errno != EACCES && errno != EPERM) {
		puts("open install icon fail !");
		return -5;
	}
	FILE *fp = fopen(icon.c_str(), "wb+e");
	if (!fp) {
		puts("open install icon fail !");
		return -5;
	}
	if (!write_file(fp, buf.get(), len)) {
		puts("replace install icon fail !");
		return -5;
	}
	return result;
}

int extract_sys_run(FILE *img)
{
	Buffer buf;
	size_t len = 0;
	int rc = read_payload(img, "sys_run", buf, &len, "read sys run image fail !");
	if (rc < 0)
		return rc;

	FILE *fp = create_fresh(kSysRunBundle, 0644);
	if (!fp) {
		puts("open sys run image fail !");
		return -5;
	}
	if (!write_file(fp, buf.get(), len)) {
		puts("write sys run image fail !");
		return -5;
	}

	char cmd[64];
	int n = snprintf(cmd, sizeof(cmd), "tar zxf %s -C /tmp", kSysRunBundle);
	if (n < 0 || static_cast<size_t>(n) >= sizeof(cmd) || !crv_str_is_cmd_safe(kSysRunBundle)) {
		puts("uncompress sys run image fail !");
		return -22;
	}
	int status = system(cmd);
	if (status != 0)
		puts("uncompress sys run image fail !");
	return status;
}

int preinst_main(int argc, char **argv)
{
	if (argc != 2) {
		printf("Usage : %s crv_tv_firmware.img\n", argc > 0 ? argv[0] : "preinst");
		return 0;
	}
	FILE *img = fopen(argv[1], "rbe");
	if (!img) {
		printf("open firmware file %s fail !\n", argv[1]);
		return -5;
	}
	// This program's engine writes the dual-boot record padded to a sector.
	crv_ostrel_set_dual_boot_rec_len(512);
	crv_ostrel_set_tmp_folder("/tmp");
	crv_ostrel_set_img_path(argv[1]);

	replace_install_icon(img);
	extract_sys_run(img);

	puts("pre install success !");
	fclose(img);
	return 0;
}
