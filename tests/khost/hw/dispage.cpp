// DispAge decoder, from the engine's register description: control 0x00
// (command in bits 31:28, 5 fill, 4 transform), formats 0x04 (source 31:24,
// destination separate planes 21, destination 20:16), 0x08 bit 31 source
// separate planes, size 0x28 (width 31:16, height 15:0), strides 0x3C
// (source) and 0x40 (destination), each stride[0] / 8 in 31:16 and
// stride[1] / 8 in 15:0, clip origins 0x44 (destination) and 0x84 (source),
// x in 30:16 and y in 15:0. Plane addresses in the secure window: source
// 0x48, 0x4C, 0x70; destination 0x50, 0x54, 0x6C; bits 33:32 of the source
// (5:4) and destination (1:0) in the LPAE register; the engine counts the
// low 32 bits only, so a plane running past 4 GiB wraps. The pixel-format
// table gives each plane's bits per pixel and the chroma subsampling.
#include "khost/hw/dispage.hpp"

#include "khost/khost.hpp"
#include "khost/oracle.hpp"

#include <cstdio>
#include <string>

namespace khost::hw::dispage {

namespace {

struct Format {
	uint32_t id, bits[3], hsub, vsub;
};
// Two-plane rows; a separate-plane picture of 15-18 has 8 bits in each plane.
constexpr Format kFormats[] = {
	{3, {32, 0, 0}, 0, 0},	{4, {16, 0, 0}, 0, 0},	{5, {16, 0, 0}, 0, 0},	{6, {16, 0, 0}, 0, 0},
	{7, {32, 0, 0}, 0, 0},	{8, {16, 0, 0}, 0, 0},	{9, {16, 0, 0}, 0, 0},	{11, {32, 0, 0}, 0, 0},
	{12, {16, 0, 0}, 0, 0}, {13, {16, 0, 0}, 0, 0}, {14, {24, 0, 0}, 0, 0}, {15, {8, 16, 0}, 1, 1},
	{16, {8, 16, 0}, 1, 0}, {17, {8, 16, 0}, 0, 1}, {18, {8, 16, 0}, 0, 0}, {20, {24, 0, 0}, 0, 0},
	{26, {8, 0, 0}, 0, 0},
};

struct Picture {
	uint32_t format;
	bool separate;
	uint64_t addr[3];
	uint32_t stride[2];	// plane 0; the chroma planes
	uint32_t x, y;		// clip origin
};

// Every plane's bytes, from the origin of the buffer to the last pixel of
// the clipped rectangle (the origin may lie anywhere in between).
void planes(const char *side, const Picture &p, uint32_t w, uint32_t h, bool write, const std::string &regs,
	    oracle::Accesses &out)
{
	Format f = {p.format, {32, 0, 0}, 0, 0};	/* not in the table: the widest pixel */
	for (auto &e : kFormats)
		if (e.id == p.format)
			f = e;
	if (p.separate)
		f.bits[1] = f.bits[2] = 8;
	for (int i = 0; i < 3; i++) {
		if (!f.bits[i])
			continue;
		uint64_t cols = p.x + (uint64_t)w, rows = p.y + (uint64_t)h;
		if (i) {
			cols = (cols + f.hsub) >> f.hsub;
			rows = (rows + f.vsub) >> f.vsub;
		}
		uint64_t stride = i ? p.stride[1] : p.stride[0];
		uint64_t size = rows ? (rows - 1) * stride + (cols * f.bits[i] + 7) / 8 : 0;
		oracle::add_in_window(out, {p.addr[i], size, write, std::string(side) + " plane " + std::to_string(i) + ", " + regs});
	}
}

} // namespace

void install(uint64_t base, uint64_t secure, uint64_t lpae)
{
	oracle::on_start("dispage", base, 1, [base, secure, lpae](uint64_t ctrl, oracle::Accesses &out) {
		auto r = [base](uint32_t off) { return khost::reg(base + off); };
		auto s = [secure](uint32_t off) { return (uint64_t)khost::reg(secure + off); };
		uint32_t cmd = (uint32_t)(ctrl >> 28), fmt = r(0x04), size = r(0x28);
		uint32_t w = size >> 16, h = size & 0xFFFF;
		uint64_t high = lpae ? khost::reg(lpae) : 0;
		auto picture = [&](uint32_t format, bool separate, const uint32_t a[3], uint32_t strides, uint32_t clip,
				   uint64_t hi) {
			Picture p = {format, separate, {}, {(strides >> 16) * 8, (strides & 0xFFFF) * 8},
				     (clip >> 16) & 0x7FFF, clip & 0xFFFF};
			for (int i = 0; i < 3; i++)
				p.addr[i] = s(a[i]) | hi << 32;
			return p;
		};
		static const uint32_t dst_regs[3] = {0x50, 0x54, 0x6C}, src_regs[3] = {0x48, 0x4C, 0x70};
		Picture dst = picture((fmt >> 16) & 0x1F, (fmt >> 21) & 1, dst_regs, r(0x40), r(0x44), high & 3);
		char regs[200];
		snprintf(regs, sizeof regs, "command %u formats 0x%08x size %ux%u strides 0x%08x/0x%08x clips 0x%08x/0x%08x",
			 cmd, fmt, w, h, r(0x3C), r(0x40), r(0x84), r(0x44));
		if (cmd != 5) {
			Picture src = picture(fmt >> 24, r(0x08) >> 31, src_regs, r(0x3C), r(0x84), (high >> 4) & 3);
			planes("source", src, w, h, false, regs, out);
		}
		planes("destination", dst, w, h, true, regs, out);
	});
}

} // namespace khost::hw::dispage
