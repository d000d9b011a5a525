// SPDX-License-Identifier: GPL-2.0
/*
 * The VM stage's checks of where the planes read, from the OSD registers
 * read back through /dev/mem (run as root):
 *
 *   osdreach readback   every plane's last programmed scan-out lies inside
 *                       the planes' buffers (what any caller of the plane
 *                       nodes was given)
 *   osdreach standby    a plane scrolls; in standby the scroll task writes
 *                       nothing, after the resume it scrolls on; turning
 *                       it off prints no error
 *   osdreach clear      with the module unloaded, the OSD block as at power
 *                       on (all zero), for the checks that follow
 *   osdreach console    as an unprivileged user: strides that would take a
 *                       console on fb0 past its mapping are refused
 *   osdreach imports    as an unprivileged user: with its updates held for
 *                       the analogue timing, fb1 flipped to its own dma-buf
 *                       again and again leaves two waiting and refuses the
 *                       flips after; once the update is taken it flips again
 *   osdreach flips      plane 0 flipped vertically on and off with its update
 *                       pending, 3000 times, while another process samples
 *                       its start register: a vsync may latch any value it
 *                       holds, and each is the start of the front line
 *                       unflipped or of the last line flipped
 *
 * Where a plane reads is decoded as the host bed's access oracle does
 * (tests/khost/hw/osd_scan.h), from the registers alone.
 */
#define _GNU_SOURCE
#define _FILE_OFFSET_BITS 64
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/fb.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "vmlib.h"
#include "vyr_osd.h"
#include "../khost/hw/osd_scan.h"

#define OSD_REGS 0xfc0d0000u
#define PLANES 5

static void result(int ok, const char *name, const char *why)
{
	vm_result(ok, name, "", "%s", why);
}

static volatile uint32_t *regs;

static uint32_t r(uint32_t off) { return regs[off / 4]; }

static uint32_t reader(uint32_t off, void *ctx)
{
	(void)ctx;
	return r(off);
}

struct range {
	uint64_t lo, len;
};

static struct range owned[PLANES];

static int load_owned(void)
{
	char dev[16];
	int p, fd;

	for (p = 0; p < PLANES; p++) {
		struct fb_fix_screeninfo fix;

		snprintf(dev, sizeof(dev), "/dev/fb%d", p);
		fd = open(dev, O_RDWR);
		if (fd < 0)
			return -1;
		if (ioctl(fd, FBIOGET_FSCREENINFO, &fix)) {
			close(fd);
			return -1;
		}
		owned[p].lo = fix.smem_start;
		owned[p].len = fix.smem_len;
		close(fd);
	}
	return 0;
}

/* Inside the union of the planes' buffers (they lie side by side). */
static int inside(uint64_t lo, uint64_t len)
{
	uint64_t at = lo, end = lo + len;
	int p, moved = 1;

	if (!len)
		return 1;
	if (end < lo)
		return 0;
	while (moved && at < end) {
		moved = 0;
		for (p = 0; p < PLANES; p++)
			if (owned[p].len && at >= owned[p].lo && at - owned[p].lo < owned[p].len) {
				at = owned[p].lo + owned[p].len;
				moved = 1;
			}
	}
	return at >= end;
}

static int readback(void)
{
	char why[256] = "";
	struct osd_scan s;
	int p, region, ok = 1;

	if (load_owned()) {
		result(0, "osd-readback", "no plane buffers");
		return 1;
	}
	/* shown or not: what each plane was last programmed with */
	for (p = 0; p < PLANES; p++)
		for (region = 0; region < 2; region++)
			if (osd_scan_of(reader, NULL, p, region, &s) && !inside(s.lo, s.len)) {
				snprintf(why, sizeof(why), "plane %d region %d reads [0x%llx, +0x%llx)", p,
					 region, (unsigned long long)s.lo, (unsigned long long)s.len);
				ok = 0;
			}
	result(ok, "osd-readback", why);
	return !ok;
}

static void sleep_ms(int ms)
{
	struct timespec t = { ms / 1000, (ms % 1000) * 1000000L };

	nanosleep(&t, NULL);
}

static int power(const char *what)
{
	int fd = open("/sys/kernel/debug/crv_platform/power", O_WRONLY);
	int ok;

	if (fd < 0)
		return -1;
	ok = write(fd, what, strlen(what)) == (ssize_t)strlen(what);
	close(fd);
	return ok ? 0 : -1;
}

/* Whether plane 0's start register moves within ms. */
static int moves(int ms)
{
	uint32_t first = r(0x124);
	int t;

	for (t = 0; t < ms; t += 5) {
		sleep_ms(5);
		if (r(0x124) != first)
			return 1;
	}
	return 0;
}

/* The kernel log from now on, read with kmsg_has. */
static int kmsg_from_now(void)
{
	int fd = open("/dev/kmsg", O_RDONLY | O_NONBLOCK);

	if (fd >= 0)
		lseek(fd, 0, SEEK_END);
	return fd;
}

/*
 * Whether a record since kmsg_from_now holds the needle, leaving out those
 * that hold the exception.
 */
static int kmsg_has(int fd, const char *needle, const char *except)
{
	char rec[8192];
	ssize_t n;
	int found = 0;

	while ((n = read(fd, rec, sizeof(rec) - 1)) > 0 || (n < 0 && errno == EPIPE))
		if (n > 0) {
			rec[n] = 0;
			found |= strstr(rec, needle) && !strstr(rec, except);
		}
	close(fd);
	return found;
}

static int standby(void)
{
	struct fb_var_screeninfo v;
	ST_DRV_OSD_SCROLL_PARAM s;
	int fd = open("/dev/fb0", O_RDWR), ok = 1, k, off;
	const char *why = "";

	if (fd < 0 || ioctl(fd, FBIOGET_VSCREENINFO, &v)) {
		result(0, "standby-scroll", "no fb0");
		return 1;
	}
	v.yoffset = 0;
	v.activate = FB_ACTIVATE_FORCE;
	if (ioctl(fd, FBIOPUT_VSCREENINFO, &v)) {
		result(0, "standby-scroll", strerror(errno));
		close(fd);
		return 1;
	}
	memset(&s, 0, sizeof(s));
	s.bEnable = 1;
	s.u32ScrollStride = v.xres * (v.bits_per_pixel / 8);
	s.u32Step = 64;
	s.u32Limit = 1024;
	if (ioctl(fd, _IOW(0xC8, 157, ST_DRV_OSD_SCROLL_PARAM), &s) ||
	    ioctl(fd, _IOW(0xC8, 156, unsigned char), 1)) {
		result(0, "standby-scroll", strerror(errno));
		close(fd);
		return 1;
	}
	if (!moves(2000)) {
		ok = 0;
		why = "the plane does not scroll";
	} else if (power("suspend")) {
		ok = 0;
		why = "no standby";
	} else {
		if (moves(500)) {
			ok = 0;
			why = "the scroll task programs the plane in standby";
		}
		if (power("resume")) {
			ok = 0;
			why = "no resume";
		} else if (ok && !moves(2000)) {
			ok = 0;
			why = "the plane does not scroll after the resume";
		}
	}
	k = kmsg_from_now();
	off = ioctl(fd, _IOW(0xC8, 156, unsigned char), 0);
	/* the update bits of the window here never clear: a waiter is let go with an error */
	if (kmsg_has(k, "ERR_DRV_OSD", "Discard UpdateSyncByATV") && ok) {
		ok = 0;
		why = "turning the scroll off printed an error";
	} else if (off && ok) {
		ok = 0;
		why = "the scroll does not turn off";
	}
	close(fd);
	result(ok, "standby-scroll", why);
	return !ok;
}

static int console(void)
{
	/* 8192 pixels, which wrap the stride's field, and 2 GiB */
	static const unsigned long strides[] = { 32768, 0x80000000ul };
	struct fb_fix_screeninfo fix;
	char why[128] = "";
	int fd, ok = 1;
	unsigned int i;

	if (setgroups(0, NULL) || setgid(65534) || setuid(65534) ||
	    (fd = open("/dev/fb0", O_RDWR)) < 0) {
		result(0, "osd-console-user", "no fb0 for the unprivileged user");
		return 1;
	}
	for (i = 0; i < sizeof(strides) / sizeof(strides[0]); i++) {
		errno = 0;
		if (ioctl(fd, _IOW(0xC8, 113, unsigned int), strides[i]) != -1 || errno != EINVAL ||
		    ioctl(fd, FBIOGET_FSCREENINFO, &fix) || fix.line_length == strides[i]) {
			snprintf(why, sizeof(why), "stride %lu: %s", strides[i],
				 errno ? strerror(errno) : "taken");
			ok = 0;
		}
	}
	close(fd);
	result(ok, "osd-console-user", why);
	return !ok;
}

/* NR 35: window, buffer width, source and dma-buf; the out-fence comes back. */
struct show {
	uint32_t unread[3], dst[4], width, pad, src[4];
	int32_t fd, fence;
};

static int flip_to(int fd, struct show *s)
{
	int ret;

	s->fence = -1;
	ret = ioctl(fd, _IOWR(0xC8, 35, struct show), s);
	if (s->fence >= 0)
		close(s->fence);
	return ret;
}

static int imports(void)
{
	struct show s = { .dst = { 0, 0, 64, 64 }, .width = 64, .src = { 0, 0, 64, 64 } };
	struct { uint32_t fd_or_offset, flags; } own = { 0, 0 };
	char why[128] = "";
	int fd, i, shown = 0;

	if (setgroups(0, NULL) || setgid(65534) || setuid(65534) || (fd = open("/dev/fb1", O_RDWR)) < 0 ||
	    ioctl(fd, _IOW(0xC8, 6, unsigned char), 1) || ioctl(fd, _IOR(0xC8, 33, own), &own)) {
		result(0, "osd-held-flips-user", "no fb1 and its dma-buf for the unprivileged user");
		return 1;
	}
	s.fd = (int32_t)own.fd_or_offset;
	/* a vsync or more after each: one shown, two waiting, the rest refused */
	for (i = 0; i < 10; i++, sleep_ms(40))
		if (!flip_to(fd, &s))
			shown++;
		else if (errno != EBUSY)
			snprintf(why, sizeof(why), "flip %d: %s", i, strerror(errno));
	if (!*why && shown != 3)
		snprintf(why, sizeof(why), "%d of 10 flips taken while held", shown);
	ioctl(fd, _IOW(0xC8, 6, unsigned char), 0);
	sleep_ms(100);
	if (!*why && flip_to(fd, &s))
		snprintf(why, sizeof(why), "refused once the update was taken: %s", strerror(errno));
	close(s.fd);
	close(fd);
	result(!*why, "osd-held-flips-user", why);
	return !!*why;
}

static int flips(void)
{
	ST_DRV_OSD_UPDATE_ENABLE up = { 14, 1, 0, { 0, 0 } };
	struct fb_var_screeninfo v;
	volatile uint32_t *shared = mmap(NULL, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
	int fd = open("/dev/fb0", O_RDWR), i, ok = 1;
	uint32_t front, last, at;
	pid_t sampler;

	if (fd < 0 || shared == MAP_FAILED || ioctl(fd, FBIOGET_VSCREENINFO, &v) || ioctl(fd, FBIOPAN_DISPLAY, &v) ||
	    ioctl(fd, _IOW(0xC8, 117, unsigned char), 1)) {
		result(0, "osd-flips", "no plane 0");
		return 1;
	}
	last = r(0x124) & 0x71ffffff;
	ioctl(fd, _IOW(0xC8, 117, unsigned char), 0);
	front = r(0x124) & 0x71ffffff;
	sampler = fork();
	if (!sampler) {
		while (!shared[0])
			if ((at = r(0x124) & 0x71ffffff) != front && at != last)
				shared[1]++, shared[2] = at;
		_exit(0);
	}
	for (i = 0; i < 3000 && ok; i++)
		ok = !ioctl(fd, _IOW(0xC8, 10, ST_DRV_OSD_UPDATE_ENABLE), &up) &&
		     !ioctl(fd, _IOW(0xC8, 117, unsigned char), 1) && !ioctl(fd, _IOW(0xC8, 117, unsigned char), 0);
	shared[0] = 1;
	waitpid(sampler, NULL, 0);
	close(fd);
	vm_result(ok && !shared[1], "osd-flips", "", "%s%u samples between (0x%08x)", ok ? "" : "ioctl failed; ",
		  shared[1], shared[2]);
	return !(ok && !shared[1]);
}

int main(int argc, char **argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: osdreach readback|standby|flips|console|imports|clear\n");
		return 2;
	}
	regs = vm_map_phys(OSD_REGS, 0x10000);
	if (!regs) {
		result(0, argv[1], "/dev/mem");
		return 1;
	}
	if (!strcmp(argv[1], "readback"))
		return readback();
	if (!strcmp(argv[1], "standby"))
		return standby();
	if (!strcmp(argv[1], "console"))
		return console();
	if (!strcmp(argv[1], "flips"))
		return flips();
	if (!strcmp(argv[1], "imports"))
		return imports();
	if (!strcmp(argv[1], "clear")) {
		unsigned int i;

		for (i = 0; i < 0x10000 / 4; i++)
			regs[i] = 0;
		return 0;
	}
	return 2;
}
