// The OSD block: update requests and vsync, and the planes' reads.
//
// Where a plane reads, from its registers alone:
// - normal plane n (0..2; registers of OSD_NORMAL1 + 0x100 n): shown while
//   0xfc0d0004 has the layer bit 0 and bit n + 1, and not the freeze bit
//   n + 8, and its region shows (0x110 bit 0). Colour code in 0x110 bits
//   9:8 (1, 2 or 4 bytes a pixel); stride in pixels 0x120 bits 12:0, read
//   offset bits 20:16; source width 0x11c bits 28:16, lines bits 11:0;
//   start 0x124 bits 24:0 in 32-byte units with bits 31:30 from bits 30:29,
//   lines upwards from it when bit 28 (vertical flip) is set. Run-length
//   data (0x104 bit 12) is read as one block of 0x128 bits 20:0 times 16
//   bytes.
// - cursor plane c (3, 4): shown while 0xfc0d2000 has the layer bit 0 and
//   bit c - 2, and 0xfc0d2270 not the freeze bit c - 3; regions 0 and 1,
//   each shown by 0x2004 bit 16 r. Colour code in 0x2004 bits 16 r + 9:8;
//   stride 0x202c bits 28:16, read offset 0x2040, width 0x2048 bits 12:0,
//   destination lines 0x2030 bits 11:0 drawn from source lines at the
//   vertical factor 0x2038 (0x10000 is 1:1); region 1 at +0x30. Start
//   0x2280 bits 24:0 in 32-byte units, bits 31:30 from 0x228c bits
//   8 (c - 3) + 1 : 8 (c - 3); flip bit 31. OSD_CURSOR2 has its own block:
//   0x2004 -> 0x2008, 0x2028..0x2074 -> +0x70, 0x2078 -> 0x20f8,
//   0x2280 -> 0x2284.
#include "khost/hw/osd.hpp"

#include <cinttypes>
#include <cstdio>
#include <string>

extern "C" int crv_sys_irq_raise(uint32_t irq) __attribute__((weak));

namespace khost::hw::osd {

namespace {

constexpr uint64_t kUpdate = kRegs + 0xb000;
constexpr uint64_t kNormalPending = 0x7, kCursorPending = 0x10, kOtherPending = 0x140;

uint32_t r(uint64_t off) { return khost::reg(kRegs + off); }

uint32_t bits(uint32_t v, int hi, int lo) { return (v >> lo) & (uint32_t)((1ull << (hi - lo + 1)) - 1); }

uint64_t bpp(uint32_t code) { return (uint64_t[]){1, 2, 4, 4}[(code >> 8) & 3]; }

// OSD_CURSOR1 address of a region register moved to cursor c.
uint64_t cursor(uint64_t off, int c, int region)
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

std::string hex(uint64_t v)
{
	char b[24];
	snprintf(b, sizeof b, "0x%" PRIx64, v);
	return b;
}

struct Scan {
	uint64_t start, units, offset, w, lines, bpp;
	bool flip;
};

void add(khost::oracle::Accesses &out, const Scan &s, const std::string &what)
{
	if (!s.lines || !s.w)
		return;
	uint64_t span = s.units * s.bpp * (s.lines - 1), line = (s.offset + s.w) * s.bpp;
	uint64_t lo = s.start, len = span + line;
	if (s.flip && s.start >= span)
		lo = s.start - span;
	else if (s.flip)	// upwards past address 0: from the top of the bus down
		lo = 0, len = UINT64_MAX;
	out.push_back({lo, len, false,
		       what + ": start " + hex(s.start) + ", stride " + hex(s.units * s.bpp) +
			       ", " + std::to_string(s.w) + " pixels of " + std::to_string(s.bpp) +
			       " bytes + offset " + std::to_string(s.offset) + ", " +
			       std::to_string(s.lines) + " lines" + (s.flip ? ", flipped" : "")});
}

void normal(int n, khost::oracle::Accesses &out)
{
	uint32_t show = r(0x004), ctl = r(0x110 + 0x100 * n);
	if (!(show & 1) || !(show >> (n + 1) & 1) || (show >> (n + 8) & 1) || !(ctl & 1))
		return;
	uint32_t stride = r(0x120 + 0x100 * n), size = r(0x11c + 0x100 * n), addr = r(0x124 + 0x100 * n);
	uint64_t start = (uint64_t)bits(addr, 24, 0) << 5 | (uint64_t)bits(addr, 30, 29) << 30;
	std::string what = "plane " + std::to_string(n) + " (0x110 " + hex(ctl) + ", 0x11c " + hex(size) +
			   ", 0x120 " + hex(stride) + ", 0x124 " + hex(addr) + ")";
	if (r(0x104 + 0x100 * n) >> 12 & 1) {
		uint64_t quant = bits(r(0x128 + 0x100 * n), 20, 0);
		out.push_back({start, quant * 16, false, what + ": run-length data of " + std::to_string(quant) + " x 16 bytes"});
		return;
	}
	add(out, {start, bits(stride, 12, 0), bits(stride, 20, 16), bits(size, 28, 16), bits(size, 11, 0),
		  bpp(ctl), (addr >> 28 & 1) != 0}, what);
}

void cursors(int c, khost::oracle::Accesses &out)
{
	uint32_t show = r(0x2000);
	if (!(show & 1) || !(show >> (c - 2) & 1) || (r(0x2270) >> (c - 3) & 1))
		return;
	uint32_t ctl = r(cursor(0x2004, c, 0)), addr = r(cursor(0x2280, c, 0));
	int k = 8 * (c - 3);
	uint64_t start = (uint64_t)bits(addr, 24, 0) << 5 | (uint64_t)bits(r(0x228c), k + 1, k) << 30;
	for (int region = 0; region < 2; region++) {
		uint32_t half = ctl >> (16 * region);
		if (!(half & 1))
			continue;
		uint32_t lines = bits(r(cursor(0x2030, c, region)), 11, 0);
		uint64_t factor = bits(r(cursor(0x2038, c, region)), 16, 0);
		uint64_t src = lines ? (((uint64_t)lines - 1) * factor >> 16) + 1 : 0;
		std::string what = "cursor plane " + std::to_string(c) + " region " + std::to_string(region) +
				   " (0x2280 " + hex(addr) + ", 0x228c " + hex(r(0x228c)) + ")";
		add(out, {start, bits(r(cursor(0x202c, c, region)), 28, 16), bits(r(cursor(0x2040, c, region)), 4, 0),
			  bits(r(cursor(0x2048, c, region)), 12, 0), src, bpp(half), (addr >> 31 & 1) != 0},
		    what);
	}
}

bool atv_normal() { return r(0x000) >> 16 & 1; }
bool atv_cursor() { return r(0x2108) & 1; }

} // namespace

void install()
{
	// A request stays until a vsync takes it; writing 0 clears nothing.
	khost::on_write(kUpdate, [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = (khost::reg(kUpdate) | v) & 0x17f; });
	khost::on_write(kRegs + 0x428, [](phys_addr_t, uint64_t, uint64_t &stored) { stored = 0; });
}

khost::oracle::Accesses decode()
{
	khost::oracle::Accesses out;
	for (int n = 0; n < 3; n++)
		normal(n, out);
	for (int c = 3; c < 5; c++)
		cursors(c, out);
	return out;
}

void watch()
{
	khost::oracle::on_irq("osd", kVsyncIrq, [](uint64_t, khost::oracle::Accesses &out) {
		auto got = decode();
		out.insert(out.end(), got.begin(), got.end());
	});
}

void vsync()
{
	uint64_t keep = 0;
	if (atv_normal())
		keep |= kNormalPending | kOtherPending;
	if (atv_cursor())
		keep |= kCursorPending | kOtherPending;
	khost::set_reg(kUpdate, khost::reg(kUpdate) & keep);
	khost::raise_irq(kVsyncIrq);
	if (crv_sys_irq_raise)
		khost::run_in_irq([] { crv_sys_irq_raise(kVsyncIrq); });
}

void atv()
{
	khost::set_reg(kUpdate, khost::reg(kUpdate) & ~(kNormalPending | kCursorPending | kOtherPending));
}

} // namespace khost::hw::osd
