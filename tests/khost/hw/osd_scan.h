/*
 * Where the OSD planes read memory, from the register values alone: the
 * decode the host bed's access oracle (osd.cpp) and the VM stage's read-back
 * (tests/vm/osdreach.c) share. Plain C, no dependencies.
 *
 * - normal plane n (0..2; OSD_NORMAL1's registers + 0x100 n): shown while
 *   0x004 has the layer bit 0 and bit n + 1, not the freeze bit n + 8, and
 *   its region shows (0x110 bit 0). Colour code in 0x110 bits 9:8 (1, 2 or
 *   4 bytes a pixel); stride in pixels 0x120 bits 12:0, read offset bits
 *   20:16; width 0x11c bits 28:16, lines bits 11:0; start 0x124 bits 24:0 in
 *   32-byte units, bits 31:30 from bits 30:29, lines upwards from it when
 *   bit 28 (vertical flip) is set. Run-length data (0x104 bit 12) is read as
 *   one block of 0x128 bits 20:0 times 16 bytes.
 * - cursor plane c (3, 4): shown while 0x2000 has the layer bit 0 and bit
 *   c - 2, and 0x2270 not the freeze bit c - 3; regions 0 and 1, each shown
 *   by 0x2004 bit 16 r. Colour code in 0x2004 bits 16 r + 9:8; stride
 *   0x202c bits 28:16, read offset 0x2040, width 0x2048 bits 12:0,
 *   destination lines 0x2030 bits 11:0 drawn from source lines at the
 *   vertical factor 0x2038 (0x10000 is 1:1); region 1 at +0x30. Start 0x2280
 *   bits 24:0 in 32-byte units, bits 31:30 from 0x228c bits 8 (c - 3) + 1 :
 *   8 (c - 3); flip bit 31. OSD_CURSOR2 has a block of its own: 0x2004 ->
 *   0x2008, 0x2028..0x2074 -> +0x70, 0x2078 -> 0x20f8, 0x2280 -> 0x2284.
 * - no field of 0 reads nothing: a zero height, width or quantity still
 *   reads the line, the pixel or the 16 bytes its start names.
 */
#ifndef OSD_SCAN_H
#define OSD_SCAN_H

#include <stdint.h>
#include <string.h>

/* Offsets into the 64 KiB block at 0xfc0d0000; the reader gives a register's value. */
typedef uint32_t (*osd_reg_fn)(uint32_t off, void *ctx);

struct osd_scan {
	int shown;
	uint64_t lo, len;	/* len UINT64_MAX: wraps below 0 */
	uint64_t start, stride, pixels, size, lines;
	int flip, run_length;
};

static inline uint32_t osd_bits(uint32_t v, int hi, int lo)
{
	return (v >> lo) & (uint32_t)((1ull << (hi - lo + 1)) - 1);
}

static inline uint64_t osd_pixel_size(uint32_t code)
{
	static const uint8_t size[4] = { 1, 2, 4, 4 };

	return size[(code >> 8) & 3];
}

/* OSD_CURSOR1's offset of a region register, in cursor c's block. */
static inline uint32_t osd_cursor_off(uint32_t off, int c, int region)
{
	off += 0x30 * region;
	if (c == 3)
		return off;
	if (off == 0x2004)
		return 0x2008;
	if (off == 0x2078)
		return 0x20f8;
	if (off == 0x2280)
		return 0x2284;
	return off + 0x70;
}

/* A zero height or width still reads the line and pixel its start names. */
static inline void osd_lines(struct osd_scan *s, uint64_t offset)
{
	uint64_t span = s->stride * (s->lines ? s->lines - 1 : 0);

	s->lo = s->start;
	s->len = span + (offset + (s->pixels ? s->pixels : 1)) * s->size;
	if (s->flip && s->start < span) {
		s->lo = 0;
		s->len = UINT64_MAX;
	} else if (s->flip) {
		s->lo = s->start - span;
	}
}

/* Region `region` (0 for a normal plane) of plane p; 0 when it has none. */
static inline int osd_scan_of(osd_reg_fn r, void *ctx, int p, int region, struct osd_scan *s)
{
	uint32_t ctl, addr, show;
	int k;

	memset(s, 0, sizeof(*s));
	if (p < 3) {
		uint32_t b = 0x100 * p, stride, size;

		if (region)
			return 0;
		show = r(0x004, ctx);
		ctl = r(0x110 + b, ctx);
		addr = r(0x124 + b, ctx);
		stride = r(0x120 + b, ctx);
		size = r(0x11c + b, ctx);
		s->shown = (show & 1) && osd_bits(show, p + 1, p + 1) && !osd_bits(show, p + 8, p + 8) &&
			   (ctl & 1);
		s->start = (uint64_t)osd_bits(addr, 24, 0) << 5 | (uint64_t)osd_bits(addr, 30, 29) << 30;
		s->flip = osd_bits(addr, 28, 28);
		s->size = osd_pixel_size(ctl);
		s->run_length = osd_bits(r(0x104 + b, ctx), 12, 12);
		if (s->run_length) {
			s->lo = s->start;
			s->len = (uint64_t)osd_bits(r(0x128 + b, ctx), 20, 0) * 16;
			if (!s->len)
				s->len = 16;	/* a zero quantity still reads at its start */
			return 1;
		}
		s->stride = (uint64_t)osd_bits(stride, 12, 0) * s->size;
		s->pixels = osd_bits(size, 28, 16);
		s->lines = osd_bits(size, 11, 0);
		osd_lines(s, osd_bits(stride, 20, 16));
		return 1;
	}
	show = r(0x2000, ctx);
	ctl = r(osd_cursor_off(0x2004, p, 0), ctx) >> (16 * region);
	addr = r(osd_cursor_off(0x2280, p, 0), ctx);
	k = 8 * (p - 3);
	s->shown = (show & 1) && osd_bits(show, p - 2, p - 2) && !osd_bits(r(0x2270, ctx), p - 3, p - 3) &&
		   (ctl & 1);
	s->start = (uint64_t)osd_bits(addr, 24, 0) << 5 | (uint64_t)osd_bits(r(0x228c, ctx), k + 1, k) << 30;
	s->flip = osd_bits(addr, 31, 31);
	s->size = osd_pixel_size(ctl);
	s->stride = (uint64_t)osd_bits(r(osd_cursor_off(0x202c, p, region), ctx), 28, 16) * s->size;
	s->pixels = osd_bits(r(osd_cursor_off(0x2048, p, region), ctx), 12, 0);
	s->lines = osd_bits(r(osd_cursor_off(0x2030, p, region), ctx), 11, 0);
	if (s->lines)
		s->lines = ((s->lines - 1) * osd_bits(r(osd_cursor_off(0x2038, p, region), ctx), 16, 0) >> 16) + 1;
	osd_lines(s, osd_bits(r(osd_cursor_off(0x2040, p, region), ctx), 4, 0));
	return 1;
}

#endif /* OSD_SCAN_H */
