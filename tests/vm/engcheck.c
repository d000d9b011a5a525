/*
 * VM checks of the DMA engines (XDMA, HDMA, DispAge) and the GAI device.
 *
 *   engcheck save FILE     what the engines are programmed with, read through
 *                          /dev/mem, into FILE
 *   engcheck same FILE     PASS when they still hold what FILE has: an
 *                          unprivileged caller owns nothing these engines
 *                          reach, so nothing it did may have programmed them
 *   engcheck xdma-list     starts an XDMA command list of long copies and
 *                          leaves it running (root)
 *   engcheck gai-unbind    GAI unbound through sysfs and bound again while a
 *                          file is open on it (root)
 *
 * Prints "vm: PASS name" or "vm: FAIL name: why" lines; exits 1 on a failure.
 */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "vmlib.h"
#include "vyr_gai.h"
#include "vyr_xdma.h"

static int failed;

#define PASS(name) vm_result(1, name, "", NULL)
#define FAIL(name, ...)                                   \
	do {                                              \
		vm_result(0, name, "", __VA_ARGS__);      \
		failed = 1;                               \
	} while (0)

/* The engines' windows: every word a program of theirs is written to. */
static const struct {
	const char *name;
	uint32_t phys, len;
} windows[] = {
	{ "xdma", 0xfc090000u, 0x40 },
	{ "hdma", 0xfc0c0000u, 0x180 },
	{ "dispage", 0xfc058200u, 0xb0 },
	{ "dispage-addresses", 0xfc3a0000u, 0x80 },
	{ "dispage-lpae", 0xfd650188u, 4 },
};
#define WINDOWS (sizeof(windows) / sizeof(windows[0]))

static int read_window(uint32_t phys, uint32_t len, uint32_t *out)
{
	long page = sysconf(_SC_PAGESIZE);
	uint32_t base = phys & ~(uint32_t)(page - 1);
	volatile uint32_t *p = vm_map_phys(base, phys - base + len);
	uint32_t i;

	if (!p)
		return -1;
	for (i = 0; i < len / 4; i++)
		out[i] = p[(phys - base) / 4 + i];
	munmap((void *)p, phys - base + len);
	return 0;
}

static int save(const char *file)
{
	uint32_t words[0x180 / 4];
	FILE *f = fopen(file, "w");
	size_t w;

	if (!f)
		return 1;
	for (w = 0; w < WINDOWS; w++) {
		if (read_window(windows[w].phys, windows[w].len, words)) {
			FAIL("engines-save", "/dev/mem at 0x%x: %s", windows[w].phys, strerror(errno));
			break;
		}
		fwrite(words, 1, windows[w].len, f);
	}
	fclose(f);
	return failed;
}

static int same(const char *file)
{
	uint32_t words[0x180 / 4], had[0x180 / 4];
	FILE *f = fopen(file, "r");
	size_t w, i;

	if (!f) {
		FAIL("sweep-engines", "no saved state in %s", file);
		return 1;
	}
	for (w = 0; w < WINDOWS; w++) {
		if (fread(had, 1, windows[w].len, f) != windows[w].len ||
		    read_window(windows[w].phys, windows[w].len, words)) {
			FAIL("sweep-engines", "%s window unreadable", windows[w].name);
			continue;
		}
		for (i = 0; i < windows[w].len / 4; i++)
			if (words[i] != had[i])
				FAIL("sweep-engines", "%s +0x%zx programmed 0x%08x (was 0x%08x) by an unprivileged caller",
				     windows[w].name, i * 4, words[i], had[i]);
	}
	fclose(f);
	if (!failed)
		PASS("sweep-engines");
	return failed;
}

/* Copies of 64 MiB: the watchdog gives each 3.2 s, past a suspend's wait for the engine. */
static int xdma_list(void)
{
	struct vyr_xdma_cmd cmds[2] = {
		{ 0x80000000u, 0x84000000u, 64u << 20 },
		{ 0x84000000u, 0x80000000u, 64u << 20 },
	};
	struct vyr_xdma_cmd_header hdr = { (uintptr_t)cmds, 2, 0 };
	struct vyr_xdma_cmd_status st;
	int fd = open("/dev/crkxdma", O_RDWR);

	if (fd < 0) {
		FAIL("xdma-list", "open: %s", strerror(errno));
		return 1;
	}
	if (ioctl(fd, KXDMA_IO_COMMAND_MODE, &hdr))
		FAIL("xdma-list", "command mode: %s", strerror(errno));
	else if (ioctl(fd, KXDMA_IO_GET_COMMAND_STATUS, &st) || st.index != 0 || st.length != 64u << 20)
		FAIL("xdma-list", "status of the running list: index %u length 0x%x", st.index, st.length);
	else
		PASS("xdma-list");
	close(fd);
	return failed;
}

static int sysfs_write(const char *path, const char *value)
{
	int fd = open(path, O_WRONLY), ok;

	if (fd < 0)
		return -1;
	ok = write(fd, value, strlen(value)) == (ssize_t)strlen(value);
	close(fd);
	return ok ? 0 : -1;
}

/* The device the driver is bound to: its link in the driver's folder. */
static int bound_device(const char *drv, char *name, size_t len)
{
	DIR *d = opendir(drv);
	struct dirent *e;
	int found = -1;

	while (d && (e = readdir(d))) {
		if (e->d_type != DT_LNK || !strcmp(e->d_name, "module"))
			continue;
		snprintf(name, len, "%s", e->d_name);
		found = 0;
		break;
	}
	if (d)
		closedir(d);
	return found;
}

static int gai_unbind(void)
{
	static const char drv[] = "/sys/bus/platform/drivers/crkgai";
	char path[128], dev[256], out[16];
	ST_GAI_COPY_RESULT rec;
	int fd = open("/dev/crkgai", O_RDWR), again;

	if (fd < 0) {
		FAIL("gai-unbind", "open: %s", strerror(errno));
		return 1;
	}
	snprintf(path, sizeof(path), "%s/unbind", drv);
	if (bound_device(drv, dev, sizeof(dev)) || sysfs_write(path, dev)) {
		FAIL("gai-unbind", "%s: %s", path, strerror(errno));
		close(fd);
		return 1;
	}
	memset(&rec, 0, sizeof(rec));
	rec.s32Fd = -1;
	rec.u64UserPtr = (uintptr_t)out;
	rec.u32Size = sizeof(out);
	if (ioctl(fd, GAI_IOC_COPY_RESULT, &rec) != -1 || errno != ENODEV)
		FAIL("gai-unbind", "a file open across the unbind was served (errno %d)", errno);
	snprintf(path, sizeof(path), "%s/bind", drv);
	if (sysfs_write(path, dev))
		FAIL("gai-unbind", "%s %s: %s", path, dev, strerror(errno));
	close(fd);
	again = open("/dev/crkgai", O_RDWR);
	if (again < 0) {
		FAIL("gai-unbind", "open after the rebind: %s", strerror(errno));
	} else {
		/* No dma-buf behind -1: the bound device answers with its own refusal. */
		if (ioctl(again, GAI_IOC_COPY_RESULT, &rec) != -1 || errno != EINVAL)
			FAIL("gai-unbind", "after the rebind: errno %d", errno);
		close(again);
	}
	if (!failed)
		PASS("gai-unbind");
	return failed;
}

int main(int argc, char **argv)
{
	if (argc == 3 && !strcmp(argv[1], "save"))
		return save(argv[2]);
	if (argc == 3 && !strcmp(argv[1], "same"))
		return same(argv[2]);
	if (argc == 2 && !strcmp(argv[1], "xdma-list"))
		return xdma_list();
	if (argc == 2 && !strcmp(argv[1], "gai-unbind"))
		return gai_unbind();
	fprintf(stderr, "usage: engcheck save|same FILE | xdma-list | gai-unbind\n");
	return 2;
}
