// The OSD block: update requests and vsync, and the planes' reads (the
// decode is osd_scan.h's, which the VM stage's read-back shares).
#include "khost/hw/osd.hpp"

#include "osd_scan.h"

#include <cinttypes>
#include <cstdio>
#include <string>

extern "C" int crv_sys_irq_raise(uint32_t irq) __attribute__((weak));

namespace khost::hw::osd {

namespace {

constexpr uint64_t kUpdate = kRegs + 0xb000;
constexpr uint64_t kNormalPending = 0x7, kCursorPending = 0x10, kOtherPending = 0x140;

uint32_t r(uint64_t off) { return khost::reg(kRegs + off); }
uint32_t reader(uint32_t off, void *) { return r(off); }

std::string hex(uint64_t v)
{
	char b[24];
	snprintf(b, sizeof b, "0x%" PRIx64, v);
	return b;
}

// The registers behind a region's reads, for the finding.
std::string registers(int p, int region)
{
	static const uint32_t normal[] = {0x104, 0x110, 0x11c, 0x120, 0x124, 0x128};
	static const uint32_t cursor[] = {0x2004, 0x202c, 0x2030, 0x2038, 0x2040, 0x2048, 0x2280};
	std::string out = p < 3 ? "plane " + std::to_string(p) : "cursor plane " + std::to_string(p) +
									" region " + std::to_string(region);
	if (p < 3)
		for (uint32_t off : normal)
			out += ", " + hex(off + 0x100 * p) + " " + hex(r(off + 0x100 * p));
	else
		for (uint32_t off : cursor) {
			uint32_t at = osd_cursor_off(off, p, off == 0x2004 || off == 0x2280 ? 0 : region);
			out += ", " + hex(at) + " " + hex(r(at));
		}
	return out;
}

bool atv_normal() { return r(0x000) >> 16 & 1; }
bool atv_cursor() { return r(0x2108) & 1; }

} // namespace

void install()
{
	// A request stays until a vsync takes it; writing 0 cancels nothing.
	khost::on_write(kUpdate, [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = (khost::reg(kUpdate) | v) & 0x17f; });
	khost::on_write(kRegs + 0x428, [](phys_addr_t, uint64_t, uint64_t &stored) { stored = 0; });
}

khost::oracle::Accesses decode()
{
	khost::oracle::Accesses out;
	for (int p = 0; p < 5; p++)
		for (int region = 0; region < 2; region++) {
			struct osd_scan s;
			if (!osd_scan_of(reader, nullptr, p, region, &s) || !s.shown || !s.len)
				continue;
			std::string how = s.run_length ? "run-length data"
						       : std::to_string(s.lines) + " lines of " +
								 std::to_string(s.pixels) + " pixels, stride " +
								 hex(s.stride) + (s.flip ? ", flipped" : "");
			out.push_back({s.lo, s.len, false, registers(p, region) + ": " + how});
		}
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

} // namespace khost::hw::osd
