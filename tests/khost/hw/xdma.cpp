// XDMA decoder, from the engine's register description: 0x00 source and
// 0x04 destination (low 32 bits), 0x08 length in bytes, 0x0C source stride,
// 0x10 destination stride (15:0) and line width (31:16), 0x18 mode (2 copy,
// 18 copy as lines, 3 fill, 19 fill as lines), 0x2C address bits 33:32 of
// the source (29:28) and destination (31:30) on the chips that have it; the
// engine counts the low 32 bits only, so a run past 4 GiB wraps.
#include "khost/hw/xdma.hpp"

#include "khost/khost.hpp"
#include "khost/oracle.hpp"

#include <cstdio>
#include <string>

namespace khost::hw::xdma {

namespace {

// Bytes from the first to the last one that lines of `width` bytes, `stride`
// apart, cover for `len` bytes in all.
uint64_t span(uint32_t len, uint32_t width, uint32_t stride)
{
	if (!width)
		return len;
	uint64_t lines = (len + (uint64_t)width - 1) / width;
	return (lines - 1) * stride + width;
}

} // namespace

void install(uint64_t base, bool high_bits)
{
	oracle::on_start("xdma", base + 0x20, 1, [base, high_bits](uint64_t, oracle::Accesses &out) {
		auto r = [base](uint32_t off) { return (uint64_t)khost::reg(base + off); };
		uint64_t hi = high_bits ? r(0x2C) : 0;
		uint64_t src = r(0x00) | ((hi >> 28) & 3) << 32;
		uint64_t dst = r(0x04) | ((hi >> 30) & 3) << 32;
		uint32_t len = (uint32_t)r(0x08), mode = (uint32_t)r(0x18), lines = (uint32_t)r(0x10);
		uint32_t width = lines >> 16, dstride = lines & 0xFFFF, sstride = (uint32_t)r(0x0C);
		bool as_lines = mode == 18 || mode == 19;
		bool fill = mode == 3 || mode == 19;
		char regs[160];
		snprintf(regs, sizeof regs, "mode %u src 0x%llx dst 0x%llx len 0x%x strides 0x%x/0x%x width 0x%x", mode,
			 (unsigned long long)src, (unsigned long long)dst, len, sstride, dstride, width);
		uint64_t dspan = as_lines ? span(len, width, dstride) : len;
		uint64_t sspan = as_lines ? span(len, width, sstride) : len;
		/* A mode the description does not give: both sides, as a copy would. */
		if (!fill)
			oracle::add_in_window(out, {src, sspan, false, std::string("source, ") + regs});
		oracle::add_in_window(out, {dst, dspan, true, std::string("destination, ") + regs});
	});
}

} // namespace khost::hw::xdma
