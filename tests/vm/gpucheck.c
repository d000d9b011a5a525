// SPDX-License-Identifier: GPL-2.0
/*
 * The VM stage's checks of the 2D engine against the real kernel (no engine
 * runs here: its registers are RAM, so what it was last programmed with
 * stays there to be read back):
 *
 *   gpucheck ops [--user]    a batch fill and a batch copy (command lists),
 *                            an operation on page-provider memory with its
 *                            syncs, root's raw sync of a plane buffer, a 2D
 *                            dma-buf shown by an OSD plane
 *   gpucheck clear           root: blanks the engine's address registers
 *   gpucheck readback LOG    root: every address the engine is programmed
 *                            with, and the destination it writes, lies in
 *                            an allocation the kernel log LOG reports
 *
 * Built as gpucheck (arm64) and gpucheck32 (armhf: the compat entry points).
 * Prints "vm: PASS name" or "vm: FAIL name: why" per check.
 */
#define _GNU_SOURCE
#define _FILE_OFFSET_BITS 64
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/fb.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "vmlib.h"
#include "vyr_osd.h"
#include "vyr_gpu.h"

/* The engine of this chip (version 3: one engine) and its registers. */
#define GPU_REGS 0xfc650000u

static char tag[16];

static void result(int ok, const char *name, const char *fmt, ...)
{
	char full[64];
	va_list ap;

	snprintf(full, sizeof(full), "gpu-%s", name);
	va_start(ap, fmt);
	vm_vresult(ok, full, tag, fmt, ap);
	va_end(ap);
}

#define PASS(name) result(1, name, NULL)
#define FAIL(name, ...) result(0, name, __VA_ARGS__)

static int alloc(int fd, uint32_t provider, uint32_t size, ST_KGPU_MEM_ALLOC *a)
{
	memset(a, 0, sizeof(*a));
	a->u32Provider = provider;
	a->u32Size = size;
	return ioctl(fd, KGPU_IOC_MEM_ALLOC, a);
}

static void plane(ST_KGPU_EXEC_PLANE *p, uint64_t addr, uint16_t w, uint16_t h)
{
	memset(p, 0, sizeof(*p));
	p->u8Format = 3;	/* 32-bit ARGB */
	p->u32BufSrcType = KGPU_BUF_SRC_PHYS;
	p->u64Addr[0] = addr;
	p->u16Stride[0] = w * 4;
	p->u16Width = w;
	p->u16Height = h;
}

/* No engine answers here: an operation that timed out still ran its path. */
static int ran(long ret)
{
	return ret == 0 || errno == EBUSY || errno == ETIMEDOUT;
}

static void check_batches(int fd, uint64_t dst, uint64_t src)
{
	ST_KGPU_BATCH_FILL rects[3] = { { 8, 8, 0, 0 }, { 8, 8, 8, 8 }, { 16, 4, 16, 40 } };
	ST_KGPU_BATCH_COPY copies[2] = { { 8, 8, 0, 0, 32, 32 }, { 16, 16, 8, 8, 40, 0 } };
	ST_KGPU_EXEC e;

	memset(&e, 0, sizeof(e));
	e.u32Type = KGPU_EXEC_BATCH_FILL;
	plane(&e.stDst, dst, 64, 64);
	e.stFill.u32Color = 0x80402010u;
	e.s32BatchNum = 3;
	e.u64BatchEntries = (uintptr_t)rects;
	if (ran(ioctl(fd, KGPU_IOC_EXEC, &e)))
		PASS("batch-fill");
	else
		FAIL("batch-fill", "%s", strerror(errno));
	e.u32Type = KGPU_EXEC_BATCH_COPY;
	plane(&e.stSrc1, src, 64, 64);
	e.s32BatchNum = 2;
	e.u64BatchEntries = (uintptr_t)copies;
	if (ran(ioctl(fd, KGPU_IOC_EXEC, &e)))
		PASS("batch-copy");
	else
		FAIL("batch-copy", "%s", strerror(errno));
}

/* Page-provider memory: mapped, synced both ways, filled by the engine. */
static void check_pages(int fd)
{
	ST_KGPU_MEM_ALLOC a;
	ST_KGPU_SYNC_RANGE r;
	ST_KGPU_EXEC e;
	uint32_t *m;

	if (alloc(fd, KGPU_MEM_PROVIDER_PAGES, 64 * 64 * 4, &a)) {
		FAIL("pages", "allocation: %s", strerror(errno));
		return;
	}
	m = mmap(NULL, a.u32AllocatedSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, a.u64PhyAddr);
	if (m == MAP_FAILED) {
		FAIL("pages", "mmap: %s", strerror(errno));
	} else {
		m[0] = 0x12345678u;
		munmap(m, a.u32AllocatedSize);
	}
	r.u64Addr = a.u64PhyAddr;
	r.u32Size = a.u32AllocatedSize;
	r.u32Direction = 0;
	if (ioctl(fd, KGPU_IOC_SYNC_OWN, &r))
		FAIL("pages", "sync for the engine: %s", strerror(errno));
	memset(&e, 0, sizeof(e));
	e.u32Type = KGPU_EXEC_FILL;
	plane(&e.stDst, a.u64PhyAddr, 64, 64);
	e.stFill.u32Color = 0x55aa55aau;
	if (!ran(ioctl(fd, KGPU_IOC_EXEC, &e)))
		FAIL("pages", "fill: %s", strerror(errno));
	r.u32Direction = KGPU_SYNC_FOR_CPU;
	if (ioctl(fd, KGPU_IOC_SYNC_OWN, &r))
		FAIL("pages", "sync for the CPU: %s", strerror(errno));
	else
		PASS("pages");
	ioctl(fd, KGPU_IOC_MEM_FREE, &a.u64PhyAddr);
}

/* Root syncs a plane buffer as raw memory, one range (34) and a list (36):
 * reserved memory without pages has no cache the kernel could maintain, so
 * both are refused, on every kernel, without a report. So is RAM past the
 * engine's 32-bit mask (the full boot's 4 GiB reach 0x13fffffff): its sync
 * would work on a bounce buffer. */
static void check_raw_sync(int fd)
{
	struct fb_fix_screeninfo fix;
	ST_KGPU_SYNC_RANGE high = { 0x100000000ull, 8192, 0 };
	ST_KGPU_SYNC_RANGE r[2];
	ST_KGPU_SYNC_RANGES rs = { .u64Ranges = (uintptr_t)r, .u16Count = 2 };
	int fb = open("/dev/fb1", O_RDONLY), got = fb >= 0 && !ioctl(fb, FBIOGET_FSCREENINFO, &fix);

	if (fb >= 0)
		close(fb);
	if (!got) {
		FAIL("raw-sync", "/dev/fb1: %s", strerror(errno));
		return;
	}
	r[0] = (ST_KGPU_SYNC_RANGE){ fix.smem_start, fix.smem_len, KGPU_SYNC_FOR_CPU };
	r[1] = (ST_KGPU_SYNC_RANGE){ fix.smem_start, fix.smem_len, 0 };
	if (ioctl(fd, KGPU_IOC_SYNC, &r[0]) == 0 || errno != EINVAL)
		FAIL("raw-sync", "ioctl 34 of the plane buffer: %s", strerror(errno));
	else if (ioctl(fd, KGPU_IOC_SYNC_RANGES, &rs) == 0 || errno != EINVAL)
		FAIL("raw-sync", "ioctl 36 of the plane buffer: %s", strerror(errno));
	else if (ioctl(fd, KGPU_IOC_SYNC, &high) == 0 || errno != EINVAL)
		FAIL("raw-sync", "ioctl 34 of RAM at 4 GiB: %s", strerror(errno));
	else
		PASS("raw-sync");
}

/* What NR 35 of a plane takes: the window and source, the buffer's width
 * in pixels and the dma-buf; the out-fence comes back at 56. */
struct show_dmabuf {
	uint32_t unread[3];
	uint32_t dst[4];
	uint32_t width;
	uint32_t pad;
	uint32_t src[4];
	int32_t fd;
	int32_t fence;
};

static void check_shown(int fd, const ST_KGPU_MEM_ALLOC *a)
{
	ST_KGPU_BUF_EXCHANGE x;
	struct fb_var_screeninfo var;
	struct show_dmabuf s = { .dst = { 0, 0, 64, 64 }, .width = 64, .src = { 0, 0, 64, 64 } };
	int fb = open("/dev/fb1", O_RDWR);

	memset(&x, 0, sizeof(x));
	x.u32PlaneNum = 1;
	x.u64PlaneAddr[0] = a->u64PhyAddr;
	x.u32PlaneSize[0] = a->u32AllocatedSize;
	x.u32ExportFlags = O_RDWR | O_CLOEXEC;
	x.s32DmaBufFd = -1;
	if (fb < 0 || ioctl(fb, FBIOGET_VSCREENINFO, &var)) {
		FAIL("dmabuf-shown", "/dev/fb1: %s", strerror(errno));
	} else if (ioctl(fd, KGPU_IOC_BUF_EXCHANGE, &x) || x.s32DmaBufFd < 0) {
		FAIL("dmabuf-shown", "export: %s", strerror(errno));
	} else {
		s.fd = x.s32DmaBufFd;
		s.fence = -2;
		if (ioctl(fb, _IOWR(KER_OSD_IO_TYPE, 35, struct show_dmabuf), &s))
			FAIL("dmabuf-shown", "NR 35: %s", strerror(errno));
		else if (s.fence < -1)
			FAIL("dmabuf-shown", "no out-fence came back (%d)", s.fence);
		else
			PASS("dmabuf-shown");
		if (s.fence >= 0)
			close(s.fence);
		close(x.s32DmaBufFd);
		/* The plane's own buffer again (NR 33 exports it): the plane lets
		 * the 2D buffer go once it scans its own. */
		struct { uint32_t fd_or_offset, flags; } own = { 0, 0 };

		if (ioctl(fb, _IOR(KER_OSD_IO_TYPE, 33, own), &own) == 0) {
			s.fd = (int32_t)own.fd_or_offset;
			s.fence = -2;
			if (ioctl(fb, _IOWR(KER_OSD_IO_TYPE, 35, struct show_dmabuf), &s))
				FAIL("dmabuf-shown", "NR 35 with the plane's own buffer: %s",
				     strerror(errno));
			if (s.fence >= 0)
				close(s.fence);
			close(s.fd);
		}
		var.activate = FB_ACTIVATE_NOW;
		ioctl(fb, FBIOPUT_VSCREENINFO, &var);
		usleep(100000);	/* a vsync or more */
	}
	if (fb >= 0)
		close(fb);
}

static void check_ops(void)
{
	ST_KGPU_MEM_ALLOC dst, src;
	int fd = open("/dev/crkgpu", O_RDWR);

	if (fd < 0 || alloc(fd, KGPU_MEM_PROVIDER_DMA, 64 * 64 * 4, &dst) ||
	    alloc(fd, KGPU_MEM_PROVIDER_DMA, 64 * 64 * 4, &src)) {
		FAIL("ops", "open or allocation: %s", strerror(errno));
		return;
	}
	check_batches(fd, dst.u64PhyAddr, src.u64PhyAddr);
	check_pages(fd);
	if (sizeof(long) == 8 && geteuid() == 0)
		check_raw_sync(fd);
	check_shown(fd, &dst);
	/* The copies last: what stays in the registers is the caller's. */
	check_batches(fd, dst.u64PhyAddr, src.u64PhyAddr);
	ioctl(fd, KGPU_IOC_MEM_FREE, &dst.u64PhyAddr);
	ioctl(fd, KGPU_IOC_MEM_FREE, &src.u64PhyAddr);
	close(fd);
}

/* ---- registers through /dev/mem ---- */

/* The address registers: sources, palette, destination; bits 32-35 of each
 * in 0x0F8 (sources at 0, 4, 8, 12, 16, 20; palette at 24) and 0x0FC. */
static const struct {
	uint16_t off, hi, shift;
	const char *name;
} addr_regs[] = {
	{ 0x038, 0x0F8, 0, "source 1 channel 0" }, { 0x03C, 0x0F8, 4, "source 1 channel 1" },
	{ 0x040, 0x0F8, 8, "source 1 channel 2" }, { 0x044, 0x0F8, 12, "source 2 channel 0" },
	{ 0x048, 0x0F8, 16, "source 2 channel 1" }, { 0x04C, 0x0F8, 20, "source 2 channel 2" },
	{ 0x050, 0x0F8, 24, "palette" }, { 0x14C, 0x0FC, 0, "destination channel 0" },
	{ 0x150, 0x0FC, 4, "destination channel 1" }, { 0x154, 0x0FC, 8, "destination channel 2" },
};
#define ADDR_REGS (sizeof(addr_regs) / sizeof(addr_regs[0]))

static int check_clear(void)
{
	volatile uint32_t *r = vm_map_phys(GPU_REGS, 4096);

	if (!r) {
		FAIL("clear", "/dev/mem: %s", strerror(errno));
		return 0;
	}
	for (size_t i = 0; i < ADDR_REGS; i++)
		r[addr_regs[i].off / 4] = 0;
	r[0x0F8 / 4] = 0;
	r[0x0FC / 4] = 0;
	PASS("clear");
	return 0;
}

static uint64_t lo[256], hi[256];
static int allocs;

/* The allocation holding [a, a + n), or -1. */
static int owner(uint64_t a, uint64_t n)
{
	for (int i = 0; i < allocs; i++)
		if (a >= lo[i] && a < hi[i] && n <= hi[i] - a)
			return i;
	return -1;
}

static void check_readback(const char *log)
{
	volatile uint32_t *r = vm_map_phys(GPU_REGS, 4096);
	char line[512];
	FILE *f = fopen(log, "r");
	int bad = 0, seen = 0;

	if (!r || !f) {
		FAIL("readback", "%s: %s", r ? log : "/dev/mem", strerror(errno));
		return;
	}
	while (fgets(line, sizeof(line), f) && allocs < 256) {
		char *p = strstr(line, "kgpu_mem_alloc() Phy = 0x");
		unsigned long long a;
		unsigned int n;

		if (p && sscanf(p, "kgpu_mem_alloc() Phy = 0x%llx, Vir = 0x%*x, allocated_size = %u",
				&a, &n) == 2 && a && n) {
			lo[allocs] = a;
			hi[allocs++] = a + n;
		}
	}
	fclose(f);
	for (size_t i = 0; i < ADDR_REGS && !bad; i++) {
		uint64_t a = r[addr_regs[i].off / 4] |
			     (uint64_t)(r[addr_regs[i].hi / 4] >> addr_regs[i].shift & 0xF) << 32;

		if (!a)
			continue;
		seen++;
		if (owner(a, 1) < 0) {
			FAIL("readback", "%s at 0x%llx lies in none of the %d allocations of the caller",
			     addr_regs[i].name, (unsigned long long)a, allocs);
			bad = 1;
		}
	}
	/* The destination's first channel as the unit writes it. */
	uint64_t d = r[0x14C / 4] | (uint64_t)(r[0x0FC / 4] & 0xF) << 32;
	uint32_t size = r[0x0A8 / 4], fmt = r[0x13C / 4];
	uint64_t stride = (r[0x158 / 4] & 0xFFFF) | (uint64_t)(r[0x160 / 4] >> 8 & 0xF) << 16;
	uint64_t w = (size & 0xFFFF) + 1, h = (size >> 16) + 1, bpp = (fmt >> 8 & 3) + 1;

	if (!bad && d && (fmt & 1) && !(fmt & 8) && owner(d, (h - 1) * stride + w * bpp) < 0) {
		FAIL("readback", "the destination, %llu lines of %llu bytes from 0x%llx, leaves its allocation",
		     (unsigned long long)h, (unsigned long long)(w * bpp), (unsigned long long)d);
		bad = 1;
	}
	if (!bad) {
		printf("vm: note gpu-readback: %d addresses programmed, %d allocations\n", seen, allocs);
		PASS("readback");
	}
}

int main(int argc, char **argv)
{
	if (argc < 2) {
		fprintf(stderr, "usage: gpucheck ops [--user] | clear | readback LOG\n");
		return 2;
	}
	if (sizeof(long) == 4)
		strcpy(tag, "-32");
	if (!strcmp(argv[1], "ops")) {
		if (argc > 2 && !strcmp(argv[2], "--user")) {
			if (setgroups(0, NULL) || setgid(65534) || setuid(65534)) {
				perror("gpucheck: dropping to uid 65534");
				return 1;
			}
			strcat(tag, "-user");
		}
		check_ops();
		return 0;
	}
	if (!strcmp(argv[1], "clear"))
		return check_clear();
	if (!strcmp(argv[1], "readback") && argc > 2) {
		check_readback(argv[2]);
		return 0;
	}
	fprintf(stderr, "gpucheck: no group %s\n", argv[1]);
	return 2;
}
