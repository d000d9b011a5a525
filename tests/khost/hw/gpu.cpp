// The 2D engine's reach (khost/hw/gpu.hpp), from its register descriptions:
// the unit registers of the RGB model, the registers the luma/chroma model
// programs differently, and the command lists the engine fetches.
#include "khost/hw/gpu.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace khost::hw {

namespace {

using khost::oracle::Accesses;

std::string hex(uint64_t v)
{
	char b[24];
	snprintf(b, sizeof b, "0x%llx", (unsigned long long)v);
	return b;
}

uint32_t bits(uint32_t v, int at, int n)
{
	return (v >> at) & ((1u << n) - 1);
}

// `lines` lines of `bytes` bytes, `stride` apart, from `start` (upwards when
// `up`), as one range from the first byte to the last.
void rect(Accesses &out, bool write, uint64_t start, uint64_t stride, uint64_t bytes,
	  uint64_t lines, bool up, const std::string &what)
{
	if (!bytes || !lines)
		return;
	uint64_t span = (lines - 1) * stride;
	std::string w = what + ": " + std::to_string(lines) + " lines of " + std::to_string(bytes) +
			" bytes, stride " + std::to_string(stride) + ", from " + hex(start) +
			(up ? " upwards" : "");
	if (up && span > start) {
		out.push_back({0, ~0ull, write, w + " (below address 0)"});
		return;
	}
	uint64_t first = up ? start - span : start;
	out.push_back({first, span + bytes, write, w});
}

struct Src {
	uint32_t fmt, ch;		// format and channel words
	uint64_t addr[3];
	uint64_t stride[3];
};

// One source unit: every enabled channel (format word bits 0-2), pixel
// bytes from the width codes (ch0 format bits 28-29, ch1 and ch2 channel
// word bits 0-1 and 4-5, each code + 1), chroma channels halved as the
// interleave mode (format bits 4-5: 1 across, 2 down, 3 both) says.
void source(Accesses &out, const Src &s, uint64_t w, uint64_t h, uint32_t taps,
	    const std::string &name)
{
	uint32_t en = bits(s.fmt, 0, 3), uv = bits(s.fmt, 4, 2);
	uint32_t code[3] = {bits(s.fmt, 28, 2), bits(s.ch, 0, 2), bits(s.ch, 4, 2)};
	uint32_t t = bits(taps, 0, 3), b = bits(taps, 4, 3), l = bits(taps, 8, 3), r = bits(taps, 12, 3);

	for (int c = 0; c < 3; c++) {
		if (!(en & (1u << c)))
			continue;
		uint64_t bpp = code[c] + 1;
		uint64_t cw = c && (uv & 1) ? (w + 1) / 2 : w, chh = c && (uv & 2) ? (h + 1) / 2 : h;
		uint64_t back = l * bpp + t * s.stride[c];
		std::string what = name + " channel " + std::to_string(c);
		if (back > s.addr[c]) {
			out.push_back({0, ~0ull, false, what + " (taps before address 0)"});
			continue;
		}
		rect(out, false, s.addr[c] - back, s.stride[c], (cw + l + r) * bpp, chh + t + b, false,
		     what);
	}
}

// Source pixels the scaler walks in one direction: one step (factor, with
// its high byte; 19 fraction bits) per destination pixel from the start
// phase (with its high byte), on to the end phase in force (with its high
// byte; 0 where the scaler does not read), and never fewer than the source
// size.
uint64_t walked(uint64_t size, uint64_t start, uint64_t factor, uint64_t dst, uint64_t end)
{
	return std::max({size, ((start + factor * (dst - 1)) >> 19) + 1, (end >> 19) + 1});
}

void rgb(const GpuRegs &word, Accesses &out)
{
	uint32_t fn = word(0x080), a4 = word(0x0A4), a8 = word(0x0A8);
	uint32_t shi = word(0x0F8), dhi = word(0x0FC), hia = word(0x15C), hib = word(0x160);
	uint32_t hf = word(0x0B4), hp = word(0x0B8);
	uint64_t sw = bits(a4, 0, 16) + 1, sh = bits(a4, 16, 13) + 1;
	uint64_t dw = bits(a8, 0, 16) + 1, dh = bits(a8, 16, 16) + 1;
	// The scaler fetches the first source (bit 21) up to its end phases;
	// read for blending only (bit 19) it is not scaled.
	bool scaled = bits(fn, 21, 1);
	uint64_t scan_w = walked(sw, word(0x094) | (uint64_t)bits(hp, 0, 8) << 32,
				 word(0x084) | (uint64_t)bits(hf, 0, 8) << 32, dw,
				 scaled ? word(0x09C) | (uint64_t)bits(hp, 16, 8) << 32 : 0);
	uint64_t scan_h = walked(sh, word(0x098) | (uint64_t)bits(hp, 8, 8) << 32,
				 word(0x088) | (uint64_t)bits(hf, 8, 8) << 32, dh,
				 scaled ? word(0x0A0) | (uint64_t)bits(hp, 24, 8) << 32 : 0);
	bool read1 = scaled || bits(fn, 19, 1), read2 = bits(fn, 20, 1);
	bool pal = false;

	if (read1) {
		Src s = {word(0x018), word(0x01C), {}, {}};
		for (int c = 0; c < 3; c++)
			s.addr[c] = word(0x038 + 4 * c) | (uint64_t)bits(shi, 4 * c, 4) << 32;
		s.stride[0] = bits(word(0x054), 0, 16) | bits(hia, 16, 4) << 16;
		s.stride[1] = bits(word(0x054), 16, 16) | bits(hia, 20, 4) << 16;
		s.stride[2] = bits(word(0x058), 0, 16) | bits(hia, 24, 4) << 16;
		source(out, s, scan_w, scan_h, word(0x0B0), "source 1");
		pal |= bits(s.ch, 12, 2) != 0;
	}
	if (read2) {
		Src s = {word(0x060), word(0x064), {}, {}};
		for (int c = 0; c < 3; c++)
			s.addr[c] = word(0x044 + 4 * c) | (uint64_t)bits(shi, 12 + 4 * c, 4) << 32;
		s.stride[0] = bits(word(0x058), 16, 16) | bits(hia, 28, 4) << 16;
		s.stride[1] = bits(word(0x05C), 0, 16) | bits(hib, 0, 4) << 16;
		s.stride[2] = bits(word(0x05C), 16, 16) | bits(hib, 4, 4) << 16;
		// The second source spans the destination, or the source size alone.
		source(out, s, read1 ? dw : sw, read1 ? dh : sh, 0, "source 2");
		pal |= bits(s.ch, 12, 2) != 0;
	}
	if (pal)
		out.push_back({word(0x050) | (uint64_t)bits(shi, 24, 4) << 32, 1024, false,
			       "palette at " + hex(word(0x050)) + ", 256 entries of 4 bytes"});

	uint32_t df = word(0x13C), ctrl = word(0x140);
	uint32_t en = bits(df, 0, 3), uv = bits(ctrl, 12, 2);
	uint32_t code[3] = {bits(df, 8, 2), bits(df, 12, 2), bits(df, 16, 3)};
	uint64_t addr[3], stride[3];
	for (int c = 0; c < 3; c++)
		addr[c] = word(0x14C + 4 * c) | (uint64_t)bits(dhi, 4 * c, 4) << 32;
	stride[0] = bits(word(0x158), 0, 16) | bits(hib, 8, 4) << 16;
	stride[1] = bits(word(0x158), 16, 16) | bits(hib, 12, 4) << 16;
	stride[2] = bits(word(0x15C), 0, 16) | bits(hib, 16, 4) << 16;
	if (bits(df, 3, 1)) {
		// Run-length output from channel 0, its length bounded by the
		// value in 0x150 (256-pixel units).
		uint64_t bpp = std::max({code[0], code[1], code[2]}) + 1;
		out.push_back({addr[0], ((uint64_t)word(0x150) + 1) * 256 * bpp, true,
			       "run-length output from " + hex(addr[0])});
		return;
	}
	bool up = bits(fn, 15, 1), turned = bits(fn, 16, 3) & 1;
	for (int c = 0; c < 3; c++) {
		if (!(en & (1u << c)))
			continue;
		uint64_t bpp = code[c] + 1;
		uint64_t cw = c && (uv & 1) ? (dw + 1) / 2 : dw, chh = c && (uv & 2) ? (dh + 1) / 2 : dh;
		std::string what = "destination channel " + std::to_string(c);
		rect(out, true, addr[c], stride[c], cw * bpp, chh, up, what);
		// An odd flip/rotate code writes the area turned.
		if (turned) {
			uint64_t tw = c && (uv & 1) ? (dh + 1) / 2 : dh, th = c && (uv & 2) ? (dw + 1) / 2 : dw;
			rect(out, true, addr[c], stride[c], tw * bpp, th, up, what + ", turned");
		}
	}
}

// The luma/chroma model: one source plane, one or two destination planes
// of 1 or 2 bytes a pixel as the interleave pair 0x120/0x100 says, and a
// flipped destination's start moved back by the padding to 32 or 64 pixels.
void luma_chroma(const GpuRegs &word, bool fill, Accesses &out)
{
	uint32_t a4 = word(0x0A4), a8 = word(0x0A8), p120 = word(0x120), p100 = word(0x100);
	uint32_t dhi = word(0x0FC), hib = word(0x160);

	if (!fill) {
		uint64_t addr = word(0x038) | (uint64_t)bits(word(0x0F8), 0, 4) << 32;
		uint64_t stride = bits(word(0x054), 0, 16) | bits(word(0x15C), 16, 4) << 16;
		uint64_t bpp = (p120 & 1) ? 2 : 1;
		rect(out, false, addr, stride, (bits(a4, 0, 16) + 1) * bpp, bits(a4, 16, 13) + 1, false,
		     "source");
	}
	uint64_t bpp = !fill && ((p100 & 0x10) || ((p120 & 1) && !(p100 & 1))) ? 2 : 1;
	uint32_t fn = word(0x080), mode = !fill && (fn & 1) ? bits(fn, 16, 3) : 0;
	uint64_t tw = bits(a8, 0, 16) + 1, th = bits(a8, 16, 16) + 1;
	uint64_t w = mode & 1 ? th : tw, h = mode & 1 ? tw : th, al = bpp == 2 ? 32 : 64;
	uint64_t pw = (mode == 1 || mode == 2 || mode == 4 || mode == 5) && w % al ? al - w % al : 0;
	uint64_t ph = (mode == 2 || mode == 3 || mode == 5 || mode == 6) && h % al ? al - h % al : 0;
	int planes = !fill && (p100 & 1) ? 2 : 1;
	for (int i = 0; i < planes; i++) {
		uint64_t addr = word(0x14C + 4 * i) | (uint64_t)bits(dhi, 4 * i, 4) << 32;
		uint64_t stride = bits(word(0x158), 16 * i, 16) | bits(hib, 8 + 4 * i, 4) << 16;
		rect(out, true, addr, stride, (w + pw) * bpp, h + ph, false,
		     "destination plane " + std::to_string(i));
	}
}

} // namespace

void gpu_decode(const GpuRegs &word, uint32_t start, Accesses &out)
{
	if (start & 0xF0000000u)	// a reset, not a start
		return;
	if (start & 1)
		rgb(word, out);
	else if (start & 6)
		luma_chroma(word, start & 4, out);
}

void gpu(uint64_t regs, uint64_t cp)
{
	khost::oracle::on_start("2D engine", regs, 7, [regs](uint64_t v, Accesses &out) {
		gpu_decode([regs](uint32_t off) { return khost::reg(regs + off); }, (uint32_t)v, out);
	});
	// A command list: register writes (0x010000NN), waits (0x07010001),
	// jumps (0x05010000) and the end (0), from the address in 0x18.
	khost::oracle::on_start("2D engine", cp + 0x1C, 1, [regs, cp](uint64_t v, Accesses &out) {
		if (v != 0x30101)
			return;
		std::array<uint32_t, 256> r{};
		for (uint32_t off = 0; off < 0x190; off += 4)
			r[off / 4] = khost::reg(regs + off);
		uint64_t pc = khost::reg(cp + 0x18);
		for (int steps = 0; steps < (1 << 20); steps++) {
			const uint32_t *c = static_cast<const uint32_t *>(khost::phys_ptr(pc));
			if (!c) {
				out.push_back({pc, 8, false, "command list fetch at " + hex(pc)});
				return;
			}
			uint32_t value = c[0], cmd = c[1];
			pc += 8;
			if (cmd == 0)
				return;
			if (cmd == 0x05010000u) {
				pc = value;
			} else if ((cmd & 0xFFFFFF00u) == 0x01000000u) {
				r[cmd & 0xFF] = value;
				if ((cmd & 0xFF) == 0)
					gpu_decode([&r](uint32_t off) { return r[(off / 4) & 0xFF]; }, value, out);
			}
		}
		out.push_back({pc, 8, false, "command list without end"});
	});
}

} // namespace khost::hw
