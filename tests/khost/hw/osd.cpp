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

#include <array>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

extern "C" int crv_sys_irq_raise(uint32_t irq) __attribute__((weak));

namespace khost::hw::osd {

namespace {

constexpr uint64_t kUpdate = kRegs + 0xb000;
constexpr uint32_t kOtherPending = 0x140;
// What a vsync latches together: normal planes 0..2 each, the two cursors as one.
constexpr int kGroups = 4;
constexpr uint32_t kNormalScan[] = {0x104, 0x110, 0x11c, 0x120, 0x124, 0x128};
constexpr uint32_t kCursorScan[] = {0x2004, 0x202c, 0x2030, 0x2038, 0x2040, 0x2048, 0x2280};

uint32_t r(uint64_t off) { return khost::reg(kRegs + off); }

std::string hex(uint64_t v)
{
	char b[24];
	snprintf(b, sizeof b, "0x%" PRIx64, v);
	return b;
}

int group_of_plane(int p) { return p < 3 ? p : 3; }
uint32_t pending_bit(int g) { return g < 3 ? 1u << g : 0x10; }

// A cursor's register: the plane's own for its control and start, the region's otherwise.
uint32_t cursor_at(uint32_t off, int c, int region)
{
	return osd_cursor_off(off, c, off == 0x2004 || off == 0x2280 ? 0 : region);
}

// The scan registers of each group.
const std::array<std::vector<uint32_t>, kGroups> &scan_regs()
{
	static const auto table = [] {
		std::array<std::vector<uint32_t>, kGroups> t;
		for (int n = 0; n < 3; n++)
			for (uint32_t off : kNormalScan)
				t[n].push_back(off + 0x100 * n);
		for (int c = 3; c < 5; c++)
			for (int region = 0; region < 2; region++)
				for (uint32_t off : kCursorScan)
					if (region == 0 || cursor_at(off, c, 1) != cursor_at(off, c, 0))
						t[3].push_back(cursor_at(off, c, region));
		t[3].push_back(0x228c);	// the start's bits 31:30 of both cursors
		return t;
	}();
	return table;
}

int group_of_reg(uint32_t off)
{
	static const auto by_reg = [] {
		std::map<uint32_t, int> m;
		for (int g = 0; g < kGroups; g++)
			for (uint32_t at : scan_regs()[g])
				m[at] = g;
		return m;
	}();
	auto it = by_reg.find(off);
	return it == by_reg.end() ? -1 : it->second;
}

bool atv(int g) { return g < 3 ? r(0x000) >> 16 & 1 : r(0x2108) & 1; }

// Update enable: the normal planes' (0x000 bit 0) with the plane's latch
// (0x100 + 0x100 n bit 0); the cursors' (0x210c bit 30).
bool enabled(int g)
{
	return g < 3 ? (r(0x000) & 1) && (r(0x100 + 0x100 * g) & 1) : r(0x210c) >> 30 & 1;
}

struct Latch {
	std::mutex lock;
	bool primed = false;
	std::map<uint32_t, uint32_t> value;	// offset -> latched value
};
Latch &latch()
{
	static Latch *l = new Latch();
	return *l;
}

void load(Latch &l, int g)
{
	for (uint32_t off : scan_regs()[g])
		l.value[off] = r(off);
}

// Until the first latch, the planes show what the boot loader left. Lock held.
void prime(Latch &l)
{
	if (l.primed)
		return;
	l.primed = true;
	for (int g = 0; g < kGroups; g++)
		load(l, g);
}

// The registers as the planes would read them: the latched copy, but for
// group `live` as it is now with one register as it is being written.
struct View {
	Latch &l;
	int live;
	uint32_t off, value;
};

uint32_t view_reader(uint32_t off, void *ctx)
{
	auto *v = static_cast<View *>(ctx);
	if (v->live >= 0 && off == v->off)
		return v->value;
	auto it = v->l.value.find(off);
	if (it == v->l.value.end() || group_of_reg(off) == v->live)
		return r(off);
	return it->second;
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

// Every range the shown planes of groups `from`..`to` read in view v.
khost::oracle::Accesses reads(View &v, int from, int to, const char *when)
{
	khost::oracle::Accesses out;
	for (int p = 0; p < 5; p++)
		for (int region = 0; region < 2; region++) {
			struct osd_scan s;
			int g = group_of_plane(p);
			if (g < from || g > to || !osd_scan_of(view_reader, &v, p, region, &s) || !s.shown || !s.len)
				continue;
			std::string how = s.run_length ? "run-length data"
						       : std::to_string(s.lines) + " lines of " +
								 std::to_string(s.pixels) + " pixels, stride " +
								 hex(s.stride) + (s.flip ? ", flipped" : "");
			out.push_back({s.lo, s.len, false, when + registers(v, p, region) + ": " + how});
		}
	return out;
}

// A scan register of group g is being written: with its update pending, a
// vsync could latch the group as it is then.
void written(int g, uint32_t off, uint64_t value)
{
	khost::oracle::Accesses out;
	{
		Latch &l = latch();
		std::lock_guard<std::mutex> lk(l.lock);
		prime(l);
		if (!khost::oracle::enabled() || !(r(0xb000) & pending_bit(g)))
			return;
		View v{l, g, off, (uint32_t)value};
		out = reads(v, g, g, "latchable now: ");
	}
	khost::oracle::check("osd", out);
}

} // namespace

void install()
{
	// A request stays until a vsync takes it; writing 0 cancels nothing.
	khost::on_write(kUpdate, [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = (khost::reg(kUpdate) | v) & 0x17f; });
	khost::on_write(kRegs + 0x428, [](phys_addr_t, uint64_t, uint64_t &stored) { stored = 0; });
	for (int g = 0; g < kGroups; g++)
		for (uint32_t off : scan_regs()[g])
			khost::on_write(kRegs + off, [g, off](phys_addr_t, uint64_t v, uint64_t &) { written(g, off, v); });
}

khost::oracle::Accesses decode()
{
	Latch &l = latch();
	std::lock_guard<std::mutex> lk(l.lock);
	prime(l);
	View v{l, -1, 0, 0};
	return reads(v, 0, kGroups - 1, "");
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
		Latch &l = latch();
		std::lock_guard<std::mutex> lk(l.lock);
		prime(l);
		uint32_t pending = khost::reg(kUpdate), left = pending;
		for (int g = 0; g < kGroups; g++)
			if ((pending & pending_bit(g)) && enabled(g) && !atv(g)) {
				load(l, g);
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
