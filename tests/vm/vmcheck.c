// SPDX-License-Identifier: GPL-2.0
/*
 * The VM stage's checks that need more than a shell, run against the real
 * kernel: the planes through the fb core, the updater's OSD ioctls, flips
 * with the scan-out register read back through /dev/mem, vsync, plane
 * dma-bufs and out-fences, one allocation, export, mapping and operation per
 * engine node, and a sweep of every ioctl number of every node.
 *
 *   vmcheck GROUP [--user]
 *
 * Built as vmcheck (arm64) and vmcheck32 (armhf: the compat entry points);
 * check names of the 32-bit build end in "-32", those run as the
 * unprivileged user (--user: uid and gid 65534, no capabilities) in "-user".
 * Prints "vm: PASS name" or "vm: FAIL name: why" per check.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/fb.h>
#include <linux/kd.h>
#include <poll.h>
#include <setjmp.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "vmlib.h"
#include "vyr_osd.h"
#include "vyr_gpu.h"
#include "vyr_dispage.h"
#include "vyr_hdma.h"
#include "vyr_xdma.h"
#include "vyr_gai.h"

#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))

static const char *suffix = "";
static char user_suffix[8];

static void result(int ok, const char *name, const char *fmt, ...)
{
	char tail[24];
	va_list ap;

	snprintf(tail, sizeof(tail), "%s%s", suffix, user_suffix);
	va_start(ap, fmt);
	vm_vresult(ok, name, tail, fmt, ap);
	va_end(ap);
}

#define PASS(name) result(1, name, NULL)
#define FAIL(name, ...) result(0, name, __VA_ARGS__)

static char *fmtname(const char *fmt, ...)
{
	static char buf[8][64];
	static int n;
	char *b = buf[n++ % 8];
	va_list ap;

	va_start(ap, fmt);
	vsnprintf(b, sizeof(buf[0]), fmt, ap);
	va_end(ap);
	return b;
}

/* ---- register windows through /dev/mem ---- */

#define OSD_REGS 0xfc0d0000u

/* ---- planes ---- */

#define PLANES 5
static const char *const plane_names[PLANES] = {
	"OSD_NORMAL1", "OSD_NORMAL2", "OSD_NORMAL3", "OSD_CURSOR1", "OSD_CURSOR2",
};
static const unsigned int plane_buffers[PLANES] = { 3, 2, 2, 2, 2 };
static const unsigned int plane_size[PLANES][2] = {
	{ 1920, 1080 }, { 1920, 1080 }, { 32, 32 }, { 400, 400 }, { 400, 400 },
};

static int open_plane(int p)
{
	char path[16];

	snprintf(path, sizeof(path), "/dev/fb%d", p);
	return open(path, O_RDWR);
}

static void check_fbinfo(void)
{
	for (int p = 0; p < PLANES; p++) {
		struct fb_fix_screeninfo fix;
		struct fb_var_screeninfo var;
		const char *name = fmtname("fb%d-info", p);
		int fd = open_plane(p);

		if (fd < 0) {
			FAIL(name, "open: %s", strerror(errno));
			continue;
		}
		if (ioctl(fd, FBIOGET_FSCREENINFO, &fix) || ioctl(fd, FBIOGET_VSCREENINFO, &var)) {
			FAIL(name, "FBIOGET_*SCREENINFO: %s", strerror(errno));
		} else if (strncmp(fix.id, plane_names[p], sizeof(fix.id))) {
			FAIL(name, "id \"%.16s\"", fix.id);
		} else if (var.xres != plane_size[p][0] || var.yres != plane_size[p][1] ||
			   var.xres_virtual != var.xres ||
			   var.yres_virtual != plane_buffers[p] * var.yres) {
			FAIL(name, "%ux%u virtual %ux%u", var.xres, var.yres, var.xres_virtual,
			     var.yres_virtual);
		} else if (var.bits_per_pixel != 32 || var.red.offset != 16 || var.green.offset != 8 ||
			   var.blue.offset != 0 || var.transp.offset != 24) {
			FAIL(name, "%u bits, offsets %u/%u/%u/%u", var.bits_per_pixel, var.red.offset,
			     var.green.offset, var.blue.offset, var.transp.offset);
		} else if (fix.type != FB_TYPE_PACKED_PIXELS || fix.visual != FB_VISUAL_TRUECOLOR ||
			   fix.ypanstep != 1) {
			FAIL(name, "type %u visual %u ypanstep %u", fix.type, fix.visual, fix.ypanstep);
		} else if (fix.line_length < var.xres_virtual * 4) {
			FAIL(name, "line_length %u for %u pixels", fix.line_length, var.xres_virtual);
		} else if ((uint64_t)fix.line_length * var.yres_virtual > fix.smem_len) {
			FAIL(name, "smem_len %u below %u lines of %u", fix.smem_len, var.yres_virtual,
			     fix.line_length);
		} else {
			PASS(name);
		}
		close(fd);
	}
}

/* The updater's twelve OSD vendor ioctls, in its order. */
static void check_osd_ioctls(void)
{
	ST_DRV_OSD_DISP_WIN win, back;
	ST_DRV_OSD_UPDATE_ENABLE upd = { .u32UpdateMask = 14, .bEnable = 1 };
	ST_SIZE video = { 1920, 1080 };
	struct fb_var_screeninfo var;
	uint32_t mode = 0, stride = 0, stride2 = 0;
	int fd = open_plane(0), bad = 0;
	char why[160] = "";

	if (fd < 0 || ioctl(fd, FBIOGET_VSCREENINFO, &var)) {
		FAIL("osd-ioctls", "open /dev/fb0: %s", strerror(errno));
		if (fd >= 0)
			close(fd);
		return;
	}
#define STEP(what, call) do { \
		if (!bad && (call) < 0) { \
			snprintf(why, sizeof(why), "%s: %s", what, strerror(errno)); \
			bad = 1; \
		} \
	} while (0)
	STEP("get display window", ioctl(fd, KER_OSD_IO_GET_DISP_WIN, &win));
	STEP("timing-generator mode", ioctl(fd, KER_OSD_IO_IS_TIMING_GEN, &mode));
	STEP("get stride", ioctl(fd, KER_OSD_IO_GET_STRIDE, &stride));
	/* as the updater: a plane without a stride gets whole pixels a line */
	if (!bad && !stride && var.transp.length) {
		stride = var.xres * (var.bits_per_pixel / var.transp.length);
		STEP("set stride", ioctl(fd, KER_OSD_IO_SET_STRIDE, (unsigned long)stride));
	}
	STEP("auto mute off", ioctl(fd, KER_OSD_IO_AUTO_MUTE_ENABLE, 0UL));
	STEP("video window size", ioctl(fd, KER_OSD_IO_SET_VIDEO_WIN_SIZE, &video));
	win.stSrcWin.u32W = 1920;
	win.stSrcWin.u32H = 1080;
	win.stDstWin.u32W = 1920;
	win.stDstWin.u32H = 1080;
	STEP("set display window", ioctl(fd, KER_OSD_IO_SET_DISP_WIN, &win));
	STEP("skip alpha", ioctl(fd, KER_OSD_IO_SKIPALPHA_ENABLE, 1UL));
	STEP("plane show", ioctl(fd, KER_OSD_IO_PLANE_SHOW_ENABLE, 1UL));
	STEP("region show", ioctl(fd, KER_OSD_IO_REGION_SHOW_ENABLE, 1UL));
	STEP("layer show", ioctl(fd, KER_OSD_IO_SHOW_ENABLE, 1UL));
	STEP("update enable", ioctl(fd, KER_OSD_IO_UPDATE_ENABLE, &upd));
	STEP("get display window again", ioctl(fd, KER_OSD_IO_GET_DISP_WIN, &back));
	STEP("get stride again", ioctl(fd, KER_OSD_IO_GET_STRIDE, &stride2));
#undef STEP
	if (bad)
		FAIL("osd-ioctls", "%s", why);
	else if (memcmp(&win, &back, sizeof(win)))
		FAIL("osd-ioctls", "display window %ux%u->%ux%u read back as %ux%u->%ux%u",
		     win.stSrcWin.u32W, win.stSrcWin.u32H, win.stDstWin.u32W, win.stDstWin.u32H,
		     back.stSrcWin.u32W, back.stSrcWin.u32H, back.stDstWin.u32W, back.stDstWin.u32H);
	else if (stride != stride2 || stride < 1920 * 4)
		FAIL("osd-ioctls", "stride %u then %u", stride, stride2);
	else
		PASS("osd-ioctls");
	close(fd);
}

/* Scan-out start register of a normal plane: address bits 29:5 in 24:0. */
static uint32_t scanout(volatile uint32_t *regs, int p)
{
	return regs[(0x124 + 0x100 * p) / 4] & 0x1ffffff;
}

/*
 * Every buffer of every normal plane, by pan and by FBIOPUT_VSCREENINFO.
 * As the updater, the console is put in graphics mode first: a console in
 * text mode on a plane takes it back to its own view after every mode set.
 */
static void check_flips(void)
{
	volatile uint32_t *regs = vm_map_phys(OSD_REGS, 0x10000);
	int tty = open("/dev/tty0", O_RDWR | O_SYNC);

	if (!regs) {
		FAIL("flip", "/dev/mem at 0x%x: %s", OSD_REGS, strerror(errno));
		if (tty >= 0)
			close(tty);
		return;
	}
	if (tty >= 0 && ioctl(tty, KDSETMODE, KD_GRAPHICS)) {
		close(tty);
		tty = -1;
	}
	for (int p = 0; p < 3; p++) {
		for (int how = 0; how < 2; how++) {
			const char *name = fmtname("fb%d-flip-%s", p, how ? "put-var" : "pan");
			struct fb_fix_screeninfo fix;
			struct fb_var_screeninfo var;
			int fd = open_plane(p), ok = 1;

			if (fd < 0 || ioctl(fd, FBIOGET_FSCREENINFO, &fix) ||
			    ioctl(fd, FBIOGET_VSCREENINFO, &var)) {
				FAIL(name, "open or get info: %s", strerror(errno));
				if (fd >= 0)
					close(fd);
				continue;
			}
			/* the buffers the plane has: fewer where its memory holds fewer */
			for (unsigned int b = 0; ok && b < (var.yres ? var.yres_virtual / var.yres : 0); b++) {
				uint64_t at;
				uint32_t want, got;

				var.xoffset = 0;
				var.yoffset = b * var.yres;
				var.activate = FB_ACTIVATE_NOW;
				if (ioctl(fd, how ? FBIOPUT_VSCREENINFO : FBIOPAN_DISPLAY, &var)) {
					FAIL(name, "buffer %u: %s", b, strerror(errno));
					ok = 0;
					break;
				}
				/* a set of the screen information sets the line length anew */
				if (ioctl(fd, FBIOGET_FSCREENINFO, &fix)) {
					FAIL(name, "buffer %u: FBIOGET_FSCREENINFO: %s", b, strerror(errno));
					ok = 0;
					break;
				}
				at = fix.smem_start + (uint64_t)b * var.yres * fix.line_length;
				want = (uint32_t)(at >> 5) & 0x1ffffff;
				got = scanout(regs, p);
				if (got != want) {
					FAIL(name, "buffer %u at 0x%llx (lines of %u bytes): scan-out register holds 0x%x, not 0x%x",
					     b, (unsigned long long)at, fix.line_length, got << 5, want << 5);
					ok = 0;
				}
			}
			if (ok)
				PASS(name);
			/* back to the first buffer */
			var.yoffset = 0;
			ioctl(fd, FBIOPAN_DISPLAY, &var);
			close(fd);
		}
	}
	munmap((void *)regs, 0x10000);
	if (tty >= 0) {
		ioctl(tty, KDSETMODE, KD_TEXT);
		close(tty);
	}
}

static long irq_count(unsigned int irq)
{
	FILE *f = fopen("/sys/kernel/debug/crv_platform/irq", "r");
	char line[128];
	long n = -1;

	if (!f)
		return -1;
	while (fgets(line, sizeof(line), f)) {
		unsigned int i;
		char nm[64];
		long c;

		if (sscanf(line, "%u %63s %ld", &i, nm, &c) == 3 && i == irq)
			n = c;
	}
	fclose(f);
	return n;
}

static double now(void)
{
	struct timespec ts;

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec + ts.tv_nsec / 1e9;
}

/*
 * The vsync wait (number 32) returns once interrupt 50 came. A wait ends at
 * once when an interrupt came for an earlier wait that gave up (a missed
 * vsync): the first wait may be that one, the second waits.
 */
static void check_vsync(void)
{
	int fd = open_plane(0);
	long before, after;
	double t0, dt;
	int ret;

	if (fd < 0) {
		FAIL("vsync-wait", "open /dev/fb0: %s", strerror(errno));
		return;
	}
	ioctl(fd, _IO(KER_OSD_IO_TYPE, 32), 0UL);
	before = getuid() ? 0 : irq_count(50);
	t0 = now();
	ret = ioctl(fd, _IO(KER_OSD_IO_TYPE, 32), 0UL);
	dt = now() - t0;
	after = getuid() ? 1 : irq_count(50);
	if (ret)
		FAIL("vsync-wait", "%s", strerror(errno));
	else if (dt > 1.0)
		FAIL("vsync-wait", "took %.2f s", dt);
	else if (after <= before)
		FAIL("vsync-wait", "interrupt 50 count %ld then %ld", before, after);
	else
		PASS("vsync-wait");
	close(fd);
}

struct dmabuf_req {
	uint32_t fd_or_offset;
	uint32_t flags;
};

/* Each plane's buffer exported as a dma-buf, mapped, and the same bytes seen
 * through the framebuffer's own mapping; then an out-fence that signals. */
static void check_dmabuf(void)
{
	for (int p = 0; p < PLANES; p++) {
		const char *name = fmtname("fb%d-dmabuf", p);
		struct fb_fix_screeninfo fix;
		struct dmabuf_req req = { 0, 0 };
		uint32_t *via_buf = MAP_FAILED, *via_fb = MAP_FAILED;
		size_t len = 4096;
		int fd = open_plane(p), bfd = -1;

		if (fd < 0 || ioctl(fd, FBIOGET_FSCREENINFO, &fix)) {
			FAIL(name, "open: %s", strerror(errno));
			goto next;
		}
		if (ioctl(fd, _IOR(KER_OSD_IO_TYPE, 33, struct dmabuf_req), &req)) {
			FAIL(name, "export: %s", strerror(errno));
			goto next;
		}
		bfd = (int)req.fd_or_offset;
		via_buf = mmap(NULL, len, PROT_READ | PROT_WRITE, MAP_SHARED, bfd, 0);
		via_fb = mmap(NULL, len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
		if (via_buf == MAP_FAILED || via_fb == MAP_FAILED) {
			FAIL(name, "mmap of the %s: %s", via_buf == MAP_FAILED ? "dma-buf" : "plane",
			     strerror(errno));
			goto next;
		}
		via_buf[7] = 0x5a000000u | (uint32_t)p;
		if (via_fb[7] != via_buf[7])
			FAIL(name, "wrote 0x%x through the dma-buf, the plane shows 0x%x", via_buf[7],
			     via_fb[7]);
		else
			PASS(name);
		via_buf[7] = 0;
next:
		if (via_buf != MAP_FAILED)
			munmap(via_buf, len);
		if (via_fb != MAP_FAILED)
			munmap(via_fb, len);
		if (bfd >= 0)
			close(bfd);
		if (fd >= 0)
			close(fd);
	}

	int fd = open_plane(0), fence = -1;
	struct pollfd pfd;

	if (fd < 0 || ioctl(fd, _IOR(KER_OSD_IO_TYPE, 212, int), &fence) || fence < 0) {
		FAIL("out-fence", "get fence: %s", strerror(errno));
	} else {
		pfd.fd = fence;
		pfd.events = POLLIN;
		if (poll(&pfd, 1, 2000) != 1)
			FAIL("out-fence", "not signalled within 2 s");
		else
			PASS("out-fence");
		close(fence);
	}
	if (fd >= 0)
		close(fd);
}

/* ---- engines ---- */

static void check_gpu(void)
{
	ST_KGPU_MEM_ALLOC a = { .u32Provider = KGPU_MEM_PROVIDER_DMA, .u32Size = 64 * 1024 };
	ST_KGPU_BUF_EXCHANGE x;
	ST_KGPU_EXEC e;
	int fd = open("/dev/crkgpu", O_RDWR), bfd = -1;
	void *m;
	long ret;

	if (fd < 0) {
		FAIL("gpu", "open: %s", strerror(errno));
		return;
	}
	if (ioctl(fd, KGPU_IOC_MEM_ALLOC, &a) || !a.u64PhyAddr || a.u32AllocatedSize < a.u32Size) {
		FAIL("gpu-alloc", "%s (address 0x%llx, %u bytes)", strerror(errno),
		     (unsigned long long)a.u64PhyAddr, a.u32AllocatedSize);
		close(fd);
		return;
	}
	PASS("gpu-alloc");
	memset(&x, 0, sizeof(x));
	x.u32PlaneNum = 1;
	x.u64PlaneAddr[0] = a.u64PhyAddr;
	x.u32PlaneSize[0] = a.u32AllocatedSize;
	x.u32ExportFlags = O_RDWR | O_CLOEXEC;
	x.s32DmaBufFd = -1;
	if (ioctl(fd, KGPU_IOC_BUF_EXCHANGE, &x) || x.s32DmaBufFd < 0) {
		FAIL("gpu-export", "%s", strerror(errno));
	} else {
		bfd = x.s32DmaBufFd;
		m = mmap(NULL, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, bfd, 0);
		if (m == MAP_FAILED) {
			FAIL("gpu-export", "mmap of the dma-buf: %s", strerror(errno));
		} else {
			memset(m, 0xa5, 4096);
			munmap(m, 4096);
			PASS("gpu-export");
		}
	}
	/* A fill of the allocation: no engine answers here, so the operation
	 * ends with the engine's timeout and leaves the engine usable. */
	memset(&e, 0, sizeof(e));
	e.u32Type = KGPU_EXEC_FILL;
	e.stDst.u8Format = 3;
	e.stDst.u32BufSrcType = bfd >= 0 ? KGPU_BUF_SRC_DMABUF : KGPU_BUF_SRC_PHYS;
	if (bfd >= 0)
		e.stDst.s32Fd[0] = bfd;
	else
		e.stDst.u64Addr[0] = a.u64PhyAddr;
	e.stDst.u16Stride[0] = 64 * 4;
	e.stDst.u16Width = 64;
	e.stDst.u16Height = 64;
	e.stFill.u32Color = 0xff00ff00u;
	ret = ioctl(fd, KGPU_IOC_EXEC, &e);
	if (ret == 0 || errno == EBUSY || errno == ETIMEDOUT || errno == 16)
		PASS("gpu-operation");
	else
		FAIL("gpu-operation", "fill: %s", strerror(errno));
	if (bfd >= 0)
		close(bfd);
	if (ioctl(fd, KGPU_IOC_MEM_FREE, &a.u64PhyAddr))
		FAIL("gpu-free", "%s", strerror(errno));
	else
		PASS("gpu-free");
	close(fd);
}

static void check_hdma(void)
{
	int fd = open("/dev/crkhdma", O_RDWR);
	uint32_t paddr = 0, word = 0;
	void *m;
	int ret;

	if (fd < 0) {
		FAIL("hdma", "open: %s", strerror(errno));
		return;
	}
	/* The staging buffer comes with the first transfer: a self-test's.
	 * Without an engine the transfer times out; nothing else goes wrong. */
	ret = ioctl(fd, KHDMA_IO_SELF_TEST, &word);
	if (ret >= 0 || errno == EBUSY || errno == ETIMEDOUT || errno == EPERM)
		PASS("hdma-operation");
	else
		FAIL("hdma-operation", "self-test: %s", strerror(errno));
	if (getuid())
		goto out;
	if (ioctl(fd, KHDMA_IO_GET_CMA_PADDR, &paddr) || !paddr || ioctl(fd, KHDMA_IO_READ_CMA_WORD, &word))
		FAIL("hdma-staging", "address 0x%x: %s", paddr, strerror(errno));
	else
		PASS("hdma-staging");
	m = mmap(NULL, 4096, PROT_READ, MAP_SHARED, fd, 0);
	if (m == MAP_FAILED) {
		FAIL("hdma-mmap", "%s", strerror(errno));
	} else {
		volatile uint32_t first = *(volatile uint32_t *)m;

		(void)first;
		munmap(m, 4096);
		PASS("hdma-mmap");
	}
out:
	close(fd);
}

static void check_xdma(void)
{
	struct vyr_xdma_transfer t = { .byte_count = 4096, .line_width = 4096,
				       .fill_value = 0x12345678, .mode = KXDMA_MODE_FILL };
	int fd = open("/dev/crkxdma", O_RDWR);
	int ret;

	if (fd < 0) {
		FAIL("xdma", "open: %s", strerror(errno));
		return;
	}
	/* The self-test allocates its own buffers; without an engine the
	 * transfer fails (-16) and everything is given back. */
	ret = ioctl(fd, KXDMA_IO_SELF_TEST, &t);
	if (ret == 0 || ret == 1 || (ret < 0 && (errno == EBUSY || errno == EPERM)))
		PASS("xdma-operation");
	else
		FAIL("xdma-operation", "self-test: %d %s", ret, strerror(errno));
	close(fd);
}

static void check_dispage(void)
{
	int fd = open("/dev/crkdispage", O_RDWR);
	ST_KDISPAGE_BAT bat;
	int ret;

	if (fd < 0) {
		FAIL("dispage", "open: %s", strerror(errno));
		return;
	}
	memset(&bat, 0, sizeof(bat));
	bat.Mode = KDISPAGE_BAT_FILL;
	bat.FillColor = 0xff0000ffu;
	bat.FillDst.FormatMode = KDISPAGE_FMT_ARGB8888;
	bat.FillDst.Width = 64;
	bat.FillDst.Height = 16;
	bat.FillDst.Buf_Stride[0] = 256;
	ret = ioctl(fd, KDISPAGE_IOC_BAT, &bat);
	if (ret >= 0 || errno == EBUSY || errno == EPERM || errno == ETIMEDOUT)
		PASS("dispage-operation");
	else
		FAIL("dispage-operation", "self-test: %s", strerror(errno));
	close(fd);
}

static void check_gai(void)
{
	int fd = open("/dev/crkgai", O_RDWR), pfd = open_plane(2);
	struct dmabuf_req req = { 0, 0 };
	char out[64];
	ST_GAI_COPY_RESULT r;
	int ret;

	if (fd < 0 || pfd < 0) {
		FAIL("gai", "open: %s", strerror(errno));
		goto out;
	}
	if (ioctl(pfd, _IOR(KER_OSD_IO_TYPE, 33, struct dmabuf_req), &req)) {
		FAIL("gai-operation", "plane export: %s", strerror(errno));
		goto out;
	}
	/* No secure world here: the copy is refused and nothing is copied. */
	memset(&r, 0, sizeof(r));
	r.s32Fd = (int)req.fd_or_offset;
	r.u64UserPtr = (uintptr_t)out;
	r.u32Size = sizeof(out);
	ret = ioctl(fd, GAI_IOC_COPY_RESULT, &r);
	if (ret < 0 && r.u32Copied == 0)
		PASS("gai-operation");
	else
		FAIL("gai-operation", "copy returned %d, %u bytes copied", ret, r.u32Copied);
	close((int)req.fd_or_offset);
out:
	if (fd >= 0)
		close(fd);
	if (pfd >= 0)
		close(pfd);
}

/* ---- modes of the device nodes ---- */

static void check_modes(void)
{
	static const struct {
		const char *node;
		mode_t mode;
	} want[] = {
		{ "/dev/crkgpu", 0666 }, { "/dev/crkdispage", 0666 }, { "/dev/crkhdma", 0666 },
		{ "/dev/crkxdma", 0666 }, { "/dev/crkgai", 0600 },
	};

	for (size_t i = 0; i < ARRAY_SIZE(want); i++) {
		const char *name = fmtname("mode-%s", want[i].node + 5);
		struct stat st;

		if (stat(want[i].node, &st))
			FAIL(name, "%s", strerror(errno));
		else if ((st.st_mode & 07777) != want[i].mode || !S_ISCHR(st.st_mode))
			FAIL(name, "mode %o", st.st_mode);
		else
			PASS(name);
	}
}

/* ---- the ioctl sweep ---- */

static sigjmp_buf sweep_jmp;

/* Where the sweep of a node is, for its parent to report a hang. */
struct sweep_progress {
	volatile unsigned int node, nr, kind, done;
};

static void on_alarm(int sig)
{
	siglongjmp(sweep_jmp, sig);
}

/*
 * Every number 0-255 of a node with three arguments: a short record (one
 * byte before an unmapped page), an oversized one of garbage, and garbage
 * as the argument itself. Each call must come back with 0, a count or a
 * clean error. A number that makes the engine wait for hardware that is not
 * here may take the engine's own timeout; a call still blocked after 15 s
 * is a failure.
 */
static void sweep(const char *node, struct sweep_progress *prog)
{
	const char *name = fmtname("sweep-%s", node + 5);
	long page = sysconf(_SC_PAGESIZE);
	unsigned char *area, *shortp, *big;
	unsigned int seed = 12345;
	char why[200] = "";
	int fd, bad = 0;
	double t_start = now(), slowest = 0;
	unsigned int slowest_nr = 0;

	area = mmap(NULL, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (area == MAP_FAILED) {
		FAIL(name, "mmap: %s", strerror(errno));
		return;
	}
	mprotect(area + page, page, PROT_NONE);
	shortp = area + page - 1;
	big = area + 2 * page;
	fd = open(node, O_RDWR);
	if (fd < 0 && errno == EACCES && getuid()) {
		printf("vm: note %s%s%s: the node is not open to this user\n", name, suffix,
		       user_suffix);
		munmap(area, 3 * page);
		return;
	}
	if (fd < 0) {
		FAIL(name, "open: %s", strerror(errno));
		munmap(area, 3 * page);
		return;
	}
	signal(SIGALRM, on_alarm);
	for (unsigned int nr = 0; nr < 256 && !bad; nr++) {
		for (int kind = 0; kind < 3 && !bad; kind++) {
			unsigned long arg;
			unsigned int cmd;
			long ret;

			prog->nr = nr;
			prog->kind = kind;
			for (long i = 0; i < page; i++)
				big[i] = (unsigned char)(rand_r(&seed) >> 7);
			*shortp = 0xff;
			switch (kind) {
			case 0:
				cmd = _IOC(_IOC_READ | _IOC_WRITE, 0, nr, 64);
				arg = (unsigned long)shortp;
				break;
			case 1:
				cmd = _IOC(_IOC_READ | _IOC_WRITE, 0, nr, 255);
				arg = (unsigned long)big;
				break;
			default:
				cmd = _IOC(_IOC_WRITE, 0, nr, 4);
				arg = (unsigned long)rand_r(&seed) << 12 | 0xabc;
				break;
			}
			if (sigsetjmp(sweep_jmp, 1)) {
				snprintf(why, sizeof(why), "number %u (argument kind %d) still blocked after 15 s",
					 nr, kind);
				bad = 1;
				break;
			}
			double t0 = now();

			alarm(15);
			errno = 0;
			ret = ioctl(fd, cmd, arg);
			alarm(0);
			if (now() - t0 > slowest) {
				slowest = now() - t0;
				slowest_nr = nr;
			}
			if (ret < 0 && (errno == 0 || errno > 4095)) {
				snprintf(why, sizeof(why), "number %u returned %ld with errno %d", nr, ret,
					 errno);
				bad = 1;
			}
		}
		/* undo a suspend of the planes or a lock of the 2D engine */
		if (nr == KER_OSD_IO_NR(KER_OSD_IO_PM_SUSPEND) && !strncmp(node, "/dev/fb", 7))
			ioctl(fd, KER_OSD_IO_PM_RESUME, 0UL);
		if (nr == KGPU_IOC_NR(KGPU_IOC_LOCK) && !strcmp(node, "/dev/crkgpu"))
			ioctl(fd, KGPU_IOC_UNLOCK, 0UL);
	}
	signal(SIGALRM, SIG_DFL);
	close(fd);
	munmap(area, 3 * page);
	prog->done = 1;
	printf("vm: note %s%s%s took %.1f s, number %u the longest (%.1f s)\n", name, suffix,
	       user_suffix, now() - t_start, slowest_nr, slowest);
	if (bad)
		FAIL(name, "%s", why);
	else
		PASS(name);
}

/*
 * The planes one after the other in one child, each engine node in a child
 * of its own, all at once: most of the time goes to engines waiting for
 * hardware that is not here. A call the kernel never lets go of (an
 * uninterruptible wait) is reported after 200 s and the run goes on.
 */
static void check_sweep(void)
{
	static const char *const groups[][PLANES] = {
		{ "/dev/fb0", "/dev/fb1", "/dev/fb2", "/dev/fb3", "/dev/fb4" },
		{ "/dev/crkgpu" }, { "/dev/crkdispage" }, { "/dev/crkhdma" }, { "/dev/crkxdma" },
		{ "/dev/crkgai" },
	};
	enum { GROUPS = ARRAY_SIZE(groups) };
	struct sweep_progress *prog = mmap(NULL, GROUPS * sizeof(*prog), PROT_READ | PROT_WRITE,
					   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
	pid_t pids[GROUPS];
	double end = now() + 200;
	int left = 0;

	if (prog == MAP_FAILED) {
		FAIL("sweep", "mmap: %s", strerror(errno));
		return;
	}
	memset((void *)prog, 0, GROUPS * sizeof(*prog));
	for (size_t g = 0; g < GROUPS; g++) {
		pids[g] = fork();
		if (pids[g] == 0) {
			for (int i = 0; i < PLANES && groups[g][i]; i++) {
				prog[g].node = i;
				sweep(groups[g][i], &prog[g]);
			}
			_exit(0);
		}
		if (pids[g] < 0)
			FAIL(fmtname("sweep-%s", groups[g][0] + 5), "fork: %s", strerror(errno));
		else
			left++;
	}
	while (left && now() < end) {
		int status;
		pid_t pid = waitpid(-1, &status, WNOHANG);

		if (pid <= 0) {
			usleep(100000);
			continue;
		}
		for (size_t g = 0; g < GROUPS; g++) {
			if (pids[g] != pid)
				continue;
			pids[g] = 0;
			left--;
			if (WIFSIGNALED(status))
				FAIL(fmtname("sweep-%s", groups[g][prog[g].node] + 5),
				     "killed by signal %d at number %u", WTERMSIG(status), prog[g].nr);
		}
	}
	for (size_t g = 0; g < GROUPS; g++) {
		if (pids[g] <= 0)
			continue;
		kill(pids[g], SIGKILL);
		FAIL(fmtname("sweep-%s", groups[g][prog[g].node] + 5),
		     "blocked in number %u (argument kind %u)", prog[g].nr, prog[g].kind);
	}
	munmap(prog, GROUPS * sizeof(*prog));
}

/* ---- power ---- */

static void on_timeout(int sig)
{
	(void)sig;
}

/*
 * While the platform is in standby: a flip and a query come back within 5 s
 * (the fb core holds the console lock across FBIOPUT_VSCREENINFO), and a
 * query that succeeds has filled its record.
 */
static void check_standby(void)
{
	struct sigaction sa = { .sa_handler = on_timeout };
	struct fb_var_screeninfo var;
	ST_DRV_OSD_DISP_WIN win;
	int fd = open_plane(1), ret;
	double t0;

	if (fd < 0 || ioctl(fd, FBIOGET_VSCREENINFO, &var)) {
		FAIL("standby-flip", "open /dev/fb1: %s", strerror(errno));
		return;
	}
	sigaction(SIGALRM, &sa, NULL);
	var.yoffset = var.yres;
	var.activate = FB_ACTIVATE_NOW;
	t0 = now();
	alarm(5);
	ret = ioctl(fd, FBIOPUT_VSCREENINFO, &var);
	alarm(0);
	if (now() - t0 >= 4.9)
		FAIL("standby-flip", "FBIOPUT_VSCREENINFO blocked for %.1f s (result %d)", now() - t0, ret);
	else
		PASS("standby-flip");
	memset(&win, 0xaa, sizeof(win));
	ret = ioctl(fd, KER_OSD_IO_GET_DISP_WIN, &win);
	if (ret == 0 && win.stSrcWin.u32W == 0xaaaaaaaau)
		FAIL("standby-query", "the display window query returned 0 with the record unfilled");
	else
		PASS("standby-query");
	close(fd);
}

/* Flips plane 1 between its buffers for the given seconds (an ioctl in
 * flight across a suspend); fails on the first error. */
static int flip_loop(double seconds)
{
	struct fb_var_screeninfo var;
	int fd = open_plane(1), n = 0;
	double end = now() + seconds;

	if (fd < 0 || ioctl(fd, FBIOGET_VSCREENINFO, &var))
		return 1;
	while (now() < end) {
		var.yoffset = (n++ & 1) ? var.yres : 0;
		if (ioctl(fd, FBIOPAN_DISPLAY, &var) && errno != EINTR) {
			fprintf(stderr, "flip %d: %s\n", n, strerror(errno));
			return 1;
		}
	}
	close(fd);
	return 0;
}

/* ---- main ---- */

static const struct {
	const char *name;
	void (*run)(void);
} groups[] = {
	{ "fbinfo", check_fbinfo },
	{ "osd", check_osd_ioctls },
	{ "flip", check_flips },
	{ "vsync", check_vsync },
	{ "dmabuf", check_dmabuf },
	{ "gpu", check_gpu },
	{ "hdma", check_hdma },
	{ "xdma", check_xdma },
	{ "dispage", check_dispage },
	{ "gai", check_gai },
	{ "modes", check_modes },
	{ "sweep", check_sweep },
	{ "standby", check_standby },
};

int main(int argc, char **argv)
{
	if (sizeof(long) == 4)
		suffix = "-32";
	if (argc < 2) {
		fprintf(stderr, "usage: vmcheck GROUP [--user]\n");
		return 2;
	}
	if (argc > 2 && !strcmp(argv[2], "--user") && strcmp(argv[1], "fliploop")) {
		if (setgroups(0, NULL) || setgid(65534) || setuid(65534)) {
			perror("vmcheck: dropping to uid 65534");
			return 1;
		}
		strcpy(user_suffix, "-user");
	}
	if (!strcmp(argv[1], "fliploop"))
		return flip_loop(argc > 2 ? atof(argv[2]) : 5);
	for (size_t i = 0; i < ARRAY_SIZE(groups); i++) {
		if (!strcmp(argv[1], groups[i].name)) {
			groups[i].run();
			return 0;
		}
	}
	fprintf(stderr, "vmcheck: no group %s\n", argv[1]);
	return 2;
}
