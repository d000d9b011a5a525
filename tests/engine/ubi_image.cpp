#include "ubi_image.h"

#include "nand_sim.h"

namespace ubitest {

using nandsim::be32;
using nandsim::be64;
using nandsim::crc32_plain;
using nandsim::put_be32;
using nandsim::put_be64;

std::string ec_header(uint64_t ec, uint32_t vid_off, uint32_t data_off, uint32_t seq)
{
	std::string h(64, '\0');
	h.replace(0, 4, "UBI#");
	h[4] = 1;
	put_be64(h, 8, ec);
	put_be32(h, 16, vid_off);
	put_be32(h, 20, data_off);
	put_be32(h, 24, seq);
	put_be32(h, 60, crc32_plain(0xFFFFFFFF, h.data(), 60));
	return h;
}

std::string vid_header(uint32_t vol_id, uint32_t lnum, uint8_t compat)
{
	std::string h(64, '\0');
	h.replace(0, 4, "UBI!");
	h[4] = 1;
	h[5] = 1;
	h[7] = static_cast<char>(compat);
	put_be32(h, 8, vol_id);
	put_be32(h, 12, lnum);
	put_be32(h, 60, crc32_plain(0xFFFFFFFF, h.data(), 60));
	return h;
}

std::string image(const Geometry &g, const std::vector<std::string> &lebs, uint64_t ec, uint32_t seq)
{
	std::string img;
	for (size_t i = 0; i < lebs.size(); i++) {
		std::string peb(g.peb, '\xff');
		peb.replace(0, 64, ec_header(ec, g.vid_off, g.data_off, seq));
		peb.replace(g.vid_off, 64, vid_header(0, static_cast<uint32_t>(i)));
		peb.replace(g.data_off, lebs[i].size(), lebs[i]);
		img += peb;
	}
	return img;
}

EcInfo parse_ec(const std::string &b)
{
	EcInfo e;
	e.valid = b.compare(0, 4, "UBI#") == 0 && be32(b, 60) == crc32_plain(0xFFFFFFFF, b.data(), 60);
	e.version = static_cast<uint8_t>(b[4]);
	e.ec = be64(b, 8);
	e.vid_off = be32(b, 16);
	e.data_off = be32(b, 20);
	e.seq = be32(b, 24);
	return e;
}

VidInfo parse_vid(const std::string &b, uint32_t off)
{
	VidInfo v;
	const std::string h = b.substr(off, 64);
	v.valid = h.compare(0, 4, "UBI!") == 0 && be32(h, 60) == crc32_plain(0xFFFFFFFF, h.data(), 60);
	v.type = static_cast<uint8_t>(h[5]);
	v.compat = static_cast<uint8_t>(h[7]);
	v.vol_id = be32(h, 8);
	v.lnum = be32(h, 12);
	return v;
}

} // namespace ubitest
