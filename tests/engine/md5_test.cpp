#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "crv_md5.h"

namespace {

std::string hex(const uint8_t d[16])
{
	char s[33];
	for (int i = 0; i < 16; i++)
		snprintf(s + 2 * i, 3, "%02x", d[i]);
	return s;
}

std::string md5_pieces(const std::string &msg, std::size_t piece)
{
	crv_md5_ctx ctx;
	crv_md5_init(&ctx);
	for (std::size_t at = 0; at < msg.size(); at += piece)
		crv_md5_update(&ctx, msg.data() + at, int(std::min(piece, msg.size() - at)));
	uint8_t d[16];
	crv_md5_final(&ctx, d);
	return hex(d);
}

std::string md5_of(const std::string &msg)
{
	return md5_pieces(msg, msg.empty() ? 1 : msg.size());
}

TEST(Md5, Rfc1321TestSuite)
{
	EXPECT_EQ(md5_of(""), "d41d8cd98f00b204e9800998ecf8427e");
	EXPECT_EQ(md5_of("a"), "0cc175b9c0f1b6a831c399e269772661");
	EXPECT_EQ(md5_of("abc"), "900150983cd24fb0d6963f7d28e17f72");
	EXPECT_EQ(md5_of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
	EXPECT_EQ(md5_of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
	EXPECT_EQ(md5_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
		  "d174ab98d277d9f5a5611c2c9f419d9f");
	EXPECT_EQ(md5_of("1234567890123456789012345678901234567890123456789012345678901234567890123456"
			 "7890"),
		  "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecesGiveTheSameDigestAsOneAppend)
{
	std::mt19937 rng(1321);
	// Lengths around the padding boundaries (55/56 bytes in the last block).
	for (std::size_t len : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 4099u}) {
		std::string msg(len, '\0');
		for (auto &c : msg)
			c = char(rng());
		std::string whole = md5_of(msg);
		for (std::size_t piece : {1u, 63u, 64u, 65u})
			EXPECT_EQ(md5_pieces(msg, piece), whole) << "length " << len << " piece " << piece;
	}
}

TEST(Md5, BlocksAtAnyAddress)
{
	alignas(8) uint8_t storage[64 + 8];
	for (int i = 0; i < 72; i++)
		storage[i] = uint8_t(i * 7 + 3);
	crv_md5_ctx aligned, odd;
	crv_md5_init(&aligned);
	crv_md5_init(&odd);
	uint8_t copy[64];
	memcpy(copy, storage + 3, 64);
	crv_md5_transform(&aligned, copy);
	crv_md5_transform(&odd, storage + 3);
	EXPECT_EQ(0, memcmp(aligned.state, odd.state, sizeof(odd.state)));
}

TEST(Md5, NonPositiveCountLeavesTheContextAlone)
{
	crv_md5_ctx ctx;
	crv_md5_init(&ctx);
	crv_md5_update(&ctx, "abc", 3);
	crv_md5_ctx before;
	memcpy(&before, &ctx, sizeof(ctx));
	crv_md5_update(&ctx, "xyz", 0);
	crv_md5_update(&ctx, "xyz", -1);
	crv_md5_update(&ctx, "xyz", -2147483647 - 1);
	EXPECT_EQ(0, memcmp(&before, &ctx, sizeof(ctx)));
	uint8_t d[16];
	crv_md5_final(&ctx, d);
	EXPECT_EQ(hex(d), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, BitCountCarriesIntoTheHighWord)
{
	crv_md5_ctx ctx{};
	crv_md5_init(&ctx);
	ctx.count[0] = 0xfffffff8u; // one byte short of 2^29 bytes
	crv_md5_update(&ctx, "x", 1);
	EXPECT_EQ(ctx.count[0], 0u);
	EXPECT_EQ(ctx.count[1], 1u);
}

// Random files of random sizes, appended in pieces, against coreutils md5sum.
TEST(Md5, MatchesMd5sumOnRandomFiles)
{
	std::mt19937 rng(20240917);
	std::string dir = std::filesystem::temp_directory_path() / ("crv-md5-" + std::to_string(getpid()));
	std::filesystem::create_directories(dir);
	const std::size_t pieces[] = {1, 63, 64, 65};
	for (int round = 0; round < 12; round++) {
		std::size_t len = round == 0 ? 0 : rng() % (round < 6 ? 300 : 300000);
		std::string data(len, '\0');
		for (auto &c : data)
			c = char(rng());
		std::string path = dir + "/f" + std::to_string(round);
		FILE *f = fopen(path.c_str(), "wb");
		ASSERT_NE(f, nullptr);
		ASSERT_EQ(fwrite(data.data(), 1, len, f), len);
		fclose(f);

		FILE *p = popen(("md5sum " + path).c_str(), "r");
		ASSERT_NE(p, nullptr);
		char out[128] = {};
		ASSERT_NE(fgets(out, sizeof(out), p), nullptr);
		ASSERT_EQ(pclose(p), 0);
		std::string expected(out, 32);

		std::size_t piece = pieces[round % 4];
		EXPECT_EQ(md5_pieces(data, piece), expected) << "size " << len << " piece " << piece;
		EXPECT_EQ(md5_of(data), expected) << "size " << len;
	}
	std::filesystem::remove_all(dir);
}

} // namespace
