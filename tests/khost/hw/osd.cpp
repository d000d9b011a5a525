// The OSD block: update requests, the latch at vsync, and the planes' reads
// (the decode is osd_scan.h's, which the VM stage's read-back shares).
//
// The scan registers are double-buffered: the planes read what the last
// vsync latched, and a vsync latches a plane's registers only while its
// update is requested (0xfc0db000) and enabled. The oracle judges the
// latched state at every vsync and, after every write of a scan register
// while an update is pending, the state a vsync could latch at that moment.
#include "khost/hw/osd.hpp"

#include "osd_scan.h"

#include <cinttypes>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

extern "C" int crv_sys_irq_raise(uint32_t irq) __attribute__((weak));

namespace khost::hw::osd {

namespace {

constexpr uint64_t kUpdate = kRegs + 0xb000;
constexpr uint32_t kOtherPending = 0x140;
constexpr uint32_t kNormalScan[] = {0x104, 0x110, 0x11c, 0x120, 0x124, 0x128};
constexpr uint32_t kCursorScan[] = {0x2004, 0x202c, 0x2030, 0x2038, 0x2040, 0x2048, 0x2280};

uint32_t r(uint64_t off) { return khost::reg(kRegs + off); }

std::string hex(uint64_t v)
{
	char b[24];
	snprintf(b, sizeof b, "0x%" PRIx64, v);
	return b;
}

// A vsync latches each normal plane (group 0..2) and the two cursors (group 3) on its own.
int group(int p) { return p < 3 ? p : 3; }
uint32_t pending_bit(int g) { return g < 3 ? 1u << g : 0x10; }
bool atv(int g) { return g < 3 ? r(0x000) >> 16 & 1 : r(0x2108) & 1; }
// Update enable: 0x000 bit 0 with the plane's 0x100 + 0x100 n bit 0; the cursors' 0x210c bit 30.
bool enabled(int g) { return g < 3 ? (r(0x000) & 1) && (r(0x100 + 0x100 * g) & 1) : r(0x210c) >> 30 & 1; }

// A cursor's register: the plane's own for its control and start, the region's otherwise.
uint32_t cursor_at(uint32_t off, int c, int region)
{
	return osd_cursor_off(off, c, off == 0x2004 || off == 0x2280 ? 0 : region);
}

// Every scan register, with its group.
const std::map<uint32_t, int> &scan_regs()
{
	// Never destroyed: a kernel thread of the module may still write at exit.
	static const auto &regs = *new std::map<uint32_t, int>([] {
		std::map<uint32_t, int> m{{0x228c, 3}};	// both cursors' start bits 31:30
		for (int p = 0; p < 5; p++)
			for (int region = 0; region < 2; region++)
				if (p < 3)
					for (uint32_t off : kNormalScan)
						m[off + 0x100 * p] = p;
				else
					for (uint32_t off : kCursorScan)
						m[cursor_at(off, p, region)] = 3;
		return m;
	}());
	return regs;
}

// The latched copy; until the first latch, what the boot loader left.
std::mutex &latch_lock = *new std::mutex;
std::map<uint32_t, uint32_t> &latched = *new std::map<uint32_t, uint32_t>;

void load(int g)	// latch_lock held; -1: the first time only
{
	for (auto [off, of] : scan_regs())
		if (of == g || (g < 0 && !latched.count(off)))
			latched[off] = r(off);
}

// The registers as the planes would read them: the latched copy, but for
// group `live` as it is now, with one register as it is being written.
struct View {
	int live;
	uint32_t off, value;
};

uint32_t view_reader(uint32_t off, void *ctx)
{
	auto *v = static_cast<View *>(ctx);
	auto reg = scan_regs().find(off);
	if (v->live >= 0 && off == v->off)
		return v->value;
	return reg == scan_regs().end() || reg->second == v->live ? r(off) : latched[off];
}

// The registers behind a region's reads, for the finding.
std::string registers(View &v, int p, int region)
{
	std::string out = p < 3 ? "plane " + std::to_string(p) : "cursor plane " + std::to_string(p) +
									" region " + std::to_string(region);
	auto add = [&](uint32_t at) { out += ", " + hex(at) + " " + hex(view_reader(at, &v)); };
	if (p < 3)
		for (uint32_t off : kNormalScan)
			add(off + 0x100 * p);
	else
		for (uint32_t off : kCursorScan)
			add(cursor_at(off, p, region));
	return out;
}

// Every range the shown planes read in view v (only group `only`'s, unless -1).
khost::oracle::Accesses reads(View v, int only, const char *when)
{
	khost::oracle::Accesses out;
	std::lock_guard<std::mutex> lk(latch_lock);
	load(-1);
	for (int p = 0; p < 5; p++)
		for (int region = 0; region < 2; region++) {
			struct osd_scan s;
			if ((only >= 0 && group(p) != only) || !osd_scan_of(view_reader, &v, p, region, &s) ||
			    !s.shown)
				continue;
			std::string how = s.run_length ? "run-length data"
						       : std::to_string(s.lines) + " lines of " +
								 std::to_string(s.pixels) + " pixels, stride " +
								 hex(s.stride) + (s.flip ? ", flipped" : "");
			out.push_back({s.lo, s.len, false, when + registers(v, p, region) + ": " + how});
		}
	return out;
}

} // namespace

void install()
{
	// A request stays until a vsync takes it; writing 0 cancels nothing.
	khost::on_write(kUpdate, [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = (khost::reg(kUpdate) | v) & 0x17f; });
	khost::on_write(kRegs + 0x428, [](phys_addr_t, uint64_t, uint64_t &stored) { stored = 0; });
	// With its update pending, a vsync could latch the group as a write leaves it.
	for (auto [off, g] : scan_regs())
		khost::on_write(kRegs + off, [g = g, off = off](phys_addr_t, uint64_t v, uint64_t &) {
			{
				std::lock_guard<std::mutex> lk(latch_lock);
				load(-1);
			}
			if (khost::oracle::enabled() && (khost::reg(kUpdate) & pending_bit(g)))
				khost::oracle::check("osd", reads({g, off, (uint32_t)v}, g, "latchable now: "));
		});
}

khost::oracle::Accesses decode()
{
	return reads({-1, 0, 0}, -1, "");
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
	{
		std::lock_guard<std::mutex> lk(latch_lock);
		load(-1);
		uint32_t pending = khost::reg(kUpdate), left = pending;
		for (int g = 0; g < 4; g++)
			if ((pending & pending_bit(g)) && enabled(g) && !atv(g)) {
				load(g);
				left &= ~pending_bit(g);
			}
		// The palette and the trigger wait for the analogue TV timing too.
		if (!atv(0) && !atv(3))
			left &= ~kOtherPending;
		khost::set_reg(kUpdate, left);
	}
	khost::raise_irq(kVsyncIrq);
	if (crv_sys_irq_raise)
		khost::run_in_irq([] { crv_sys_irq_raise(kVsyncIrq); });
}

} // namespace khost::hw::osd
