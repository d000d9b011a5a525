// HDMA decoder, from the engine's register description: per channel c at
// 0x40 * c, 0x88 control (bit 0 fill from the data register, bit 4
// destination fixed, bit 8 data-address list), 0x90 source and 0x94
// destination (low 32 bits), 0x98 length in bytes; 0x3C holds address bits
// 33:32 of the destination (25:24) and source (29:28) on the chips that have
// them; the engine counts the low 32 bits only, so a run past 4 GiB wraps. A
// list is an array of {u32 data, u32 physical address} entries, each data
// word written to its address.
#include "khost/hw/hdma.hpp"

#include "khost/khost.hpp"
#include "khost/oracle.hpp"

#include <cstdio>
#include <cstring>
#include <string>

namespace khost::hw::hdma {

void install(uint64_t base, bool high_bits)
{
	for (uint32_t c = 0; c < 4; c++) {
		uint64_t ch = base + 0x40 * c;
		oracle::on_start("hdma", ch + 0xA0, 1, [base, ch, c, high_bits](uint64_t, oracle::Accesses &out) {
			auto r = [](uint64_t a) { return (uint64_t)khost::reg(a); };
			uint64_t hi = high_bits ? r(base + 0x3C) : 0;
			uint64_t src = r(ch + 0x90) | ((hi >> 28) & 3) << 32;
			uint64_t dst = r(ch + 0x94) | ((hi >> 24) & 3) << 32;
			uint32_t ctrl = (uint32_t)r(ch + 0x88), len = (uint32_t)r(ch + 0x98);
			char regs[128];
			snprintf(regs, sizeof regs, "channel %u control 0x%x src 0x%llx dst 0x%llx len 0x%x", c, ctrl,
				 (unsigned long long)src, (unsigned long long)dst, len);
			if (ctrl & 0x100) {
				oracle::add_in_window(out, {src, len, false, std::string("list, ") + regs});
				for (uint32_t i = 0; i + 8 <= len; i += 8) {
					const void *e = khost::phys_ptr((src & ~0xFFFFFFFFull) | (uint32_t)(src + i));
					if (!e)
						break;	/* the list read itself is out of reach */
					uint32_t ent[2];
					memcpy(ent, e, sizeof ent);
					out.push_back({ent[1], 4, true, "list entry " + std::to_string(i / 8) + ", " + regs});
				}
				return;
			}
			if (!(ctrl & 0x1))
				oracle::add_in_window(out, {src, len, false, std::string("source, ") + regs});
			oracle::add_in_window(out, {dst, (ctrl & 0x10) ? 4u : len, true, std::string("destination, ") + regs});
		});
	}
}

} // namespace khost::hw::hdma
