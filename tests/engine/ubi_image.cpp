#include "ubi_image.h"

#include "nand_sim.h"

#include <algorithm>

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

std::string attach_refusal(const std::string &flash, uint32_t peb, uint32_t page, uint32_t subpage,
			   uint32_t vid_hdr_offset, const std::vector<int> &bad)
{
	auto align = [](uint64_t x, uint64_t a) { return (x + a - 1) / a * a; };
	// build.c: the geometry the device is attached with.
	const uint64_t hdr_alsize = align(64, subpage);
	const uint64_t vid = vid_hdr_offset != 0 ? vid_hdr_offset : hdr_alsize;
	const uint64_t shift = vid - (vid & ~uint64_t{subpage - 1});
	if (shift + 64 > hdr_alsize)
		return "Invalid VID header offset " + std::to_string(vid);
	const uint64_t leb_start = align(vid + 64, page);
	if (shift % 4 != 0)
		return "unaligned VID header shift " + std::to_string(shift);
	if (vid < 64 || leb_start > peb - 64)
		return "bad VID header (" + std::to_string(vid) + ") or data offsets (" + std::to_string(leb_start) + ")";
	if (vid + 64 <= subpage)
		return "EC and VID headers are in the same minimal I/O unit, switch to read-only mode";

	uint32_t image_seq = 0;
	for (size_t pnum = 0; pnum * peb < flash.size(); pnum++) {
		if (std::find(bad.begin(), bad.end(), static_cast<int>(pnum)) != bad.end())
			continue;
		const std::string b = flash.substr(pnum * peb, peb);
		const std::string at = " at PEB " + std::to_string(pnum);
		if (b.find_first_not_of('\xff', 0) >= 64)
			continue; // empty: erased when needed, with the mean count
		const EcInfo ec = parse_ec(b);
		if (!ec.valid)
			return "bad EC header" + at;
		if (ec.version != 1)
			return "incompatible UBI version " + std::to_string(ec.version) + at;
		if (ec.vid_off != vid)
			return "bad VID header offset " + std::to_string(ec.vid_off) + ", expected " + std::to_string(vid) + at;
		if (ec.data_off != leb_start)
			return "bad data offset " + std::to_string(ec.data_off) + ", expected " + std::to_string(leb_start) + at;
		if (ec.ec > 0x7FFFFFFF)
			return "bad erase counter " + std::to_string(ec.ec) + at;
		if (image_seq == 0)
			image_seq = ec.seq;
		else if (ec.seq != 0 && ec.seq != image_seq)
			return "bad image sequence number " + std::to_string(ec.seq) + at;
		if (b.find_first_not_of('\xff', vid) < vid + 64 && !parse_vid(b, static_cast<uint32_t>(vid)).valid)
			return "bad VID header" + at;
	}
	return "";
}

} // namespace ubitest
