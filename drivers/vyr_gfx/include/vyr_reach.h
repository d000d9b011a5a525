/* SPDX-License-Identifier: GPL-2.0 */
/*
 * What a DMA engine of this chip reaches from one start address. The
 * address registers hold the low 32 bits; the bits above come from a
 * register written once per start (on the chips that have one), so while the
 * engine runs it counts the low 32 bits only and does not carry into the
 * high ones: a run past a 4 GiB boundary would wrap to the start of its
 * 4 GiB window.
 */
#ifndef VYR_REACH_H
#define VYR_REACH_H

#include <linux/types.h>
#include <linux/overflow.h>

/*
 * True when [addr, addr + len) lies below the engine's address limit (4 GiB,
 * 16 GiB with the high-bits register) and inside one 4 GiB window.
 */
static inline bool vyr_reach_window(u64 addr, u64 len, bool high_bits)
{
	u64 end;

	if (check_add_overflow(addr, len, &end) || end > (high_bits ? 1ULL << 34 : 1ULL << 32))
		return false;
	return !len || (addr >> 32) == ((end - 1) >> 32);
}

#endif /* VYR_REACH_H */
