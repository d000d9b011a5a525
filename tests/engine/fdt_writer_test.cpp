// The device-tree writers on file targets: boot arguments set in /chosen of a
// bare blob, a legacy image and a pack slot, the console kept from the flash,
// the initrd size from the boot image, the demura region handed to the tcon
// writer, and bad blobs and payloads refused with the target untouched.
#include <gtest/gtest.h>
#include <libfdt.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "crv_fdt.h"
#include "crv_fdt_writer.h"
#include "crv_ostrel_ctx.h"
#include "imgbuilder.h"

namespace {

// Header text fields need no terminator when they are full.
template <size_t N>
void put_field(char (&field)[N], const std::string &text)
{
	memcpy(field, text.data(), std::min(N, text.size()));
}

// Reference CRC-32 (reflected 0xEDB88320), bit by bit.
uint32_t ref_crc32(const void *data, size_t n)
{
	uint32_t c = 0xFFFFFFFF;
	const auto *p = static_cast<const uint8_t *>(data);
	for (size_t i = 0; i < n; i++) {
		c ^= p[i];
		for (int k = 0; k < 8; k++)
			c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
	}
	return ~c;
}

void put_be32(std::string &s, size_t off, uint32_t v)
{
	const uint32_t be = htobe32(v);
	memcpy(s.data() + off, &be, 4);
}

uint32_t be32(const std::string &s, size_t off)
{
	const auto *p = reinterpret_cast<const uint8_t *>(s.data() + off);
	return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

struct BlobContent {
	const char *id = nullptr;
	const char *bootargs = nullptr;
	bool chosen = true;
	uint32_t demura[2] = {0, 0};
	bool demura_node = false;
};

// A tight blob (no free space) as a build tool would leave it.
std::string make_blob(const BlobContent &b)
{
	std::vector<char> buf(16384);
	EXPECT_EQ(fdt_create_empty_tree(buf.data(), int(buf.size())), 0);
	fdt_setprop_string(buf.data(), 0, "model", "test board");
	if (b.chosen) {
		int node = fdt_add_subnode(buf.data(), 0, "chosen");
		if (b.bootargs)
			fdt_setprop_string(buf.data(), node, "bootargs", b.bootargs);
		if (b.id)
			fdt_setprop_string(buf.data(), node, "crv_id_str", b.id);
	}
	if (b.demura_node) {
		int tbl = fdt_add_subnode(buf.data(), 0, "memory_tbl");
		int dm = fdt_add_subnode(buf.data(), tbl, "demura");
		fdt_setprop_u32(buf.data(), dm, "region", b.demura[0]);
		fdt_appendprop_u32(buf.data(), dm, "region", b.demura[1]);
	}
	EXPECT_EQ(fdt_pack(buf.data()), 0);
	return std::string(buf.data(), fdt_totalsize(buf.data()));
}

std::string legacy(const std::string &body)
{
	std::string h(64, '\0');
	const uint8_t magic[] = {0x27, 0x05, 0x19, 0x56};
	memcpy(h.data(), magic, 4);
	memcpy(h.data() + 32, "fdt", 3);
	return h + body;
}

std::string pack(const std::vector<std::string> &blobs)
{
	std::string p;
	for (const auto &b : blobs) {
		std::string slot = b;
		slot.resize(CRV_FDT_PACK_SLOT, '\0');
		p += slot;
	}
	return p;
}

std::string read_file(const std::string &path)
{
	std::ifstream f(path, std::ios::binary);
	std::stringstream ss;
	ss << f.rdbuf();
	return ss.str();
}

// Paths of the descriptors synced to their device (the suite wraps fsync).
std::vector<std::string> g_synced;

} // namespace

extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd)
{
	char path[512];
	ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof(path) - 1);
	g_synced.push_back(n > 0 ? std::string(path, size_t(n)) : "?");
	return __real_fsync(fd);
}

namespace {

const char *g_hook_id = nullptr;
const char *test_hook(void *, crv_per_img_handle *)
{
	return g_hook_id;
}

class FdtWriter : public ::testing::Test {
protected:
	std::string dir;
	std::string target;
	std::string before;

	void SetUp() override
	{
		crv_ostrel_test_reset();
		char tmpl[] = "/tmp/fdtwXXXXXX";
		dir = mkdtemp(tmpl);
		crv_ostrel_set_tmp_folder(dir.c_str());
		target = dir + "/mmcblk0p9";
		// A partition holding an old pattern, so that what changed shows.
		before.assign(2 * 1024 * 1024, '\0');
		for (size_t i = 0; i < before.size(); i++)
			before[i] = char(0xA5 ^ (i >> 12));
		std::ofstream(target, std::ios::binary).write(before.data(), std::streamsize(before.size()));
		g_hook_id = nullptr;
		crv_ostrel_set_fdt_pack_hook(nullptr, nullptr);
	}
	void TearDown() override
	{
		std::string cmd = "rm -rf " + dir;
		(void)!system(cmd.c_str());
	}

	struct Result {
		int ret;
		std::string out;
		bool stream_closed;
	};
	Result run(crv_img_cb_fn cb, const std::string &payload, const std::string &param, uint32_t offset = 0,
		   const char *name = "fdt", int64_t length = -1, const std::string *tgt = nullptr)
	{
		crv_per_img_hdr hdr{};
		memcpy(hdr.magic, "PIMG", 4);
		put_field(hdr.name, name);
		const std::string &t = tgt ? *tgt : target;
		put_field(hdr.target, t.c_str());
		memcpy(hdr.param, param.data(), std::min(param.size(), sizeof(hdr.param)));
		hdr.target_offset = offset;
		crv_per_img_handle handle{};
		handle.stream = tmpfile();
		fwrite(payload.data(), 1, payload.size(), handle.stream);
		rewind(handle.stream);
		handle.length = length < 0 ? payload.size() : uint64_t(length);
		hdr.length = handle.length;
		testsupport::StdoutCapture cap;
		Result r;
		r.ret = cb(&hdr, &handle, nullptr);
		r.out = cap.finish();
		r.stream_closed = handle.stream == nullptr;
		if (handle.stream)
			fclose(handle.stream);
		return r;
	}
	std::string now() const { return read_file(target); }
	std::string bootargs_at(size_t off) const
	{
		std::string t = now();
		const char *a = fdt_get_bootargs(t.data() + off);
		return a ? a : "<none>";
	}
};

bool has(const std::string &out, const std::string &s)
{
	return out.find(s) != std::string::npos;
}

TEST_F(FdtWriter, BareBlobGetsBootargsAndIsWrittenAsHalfMegAtTheOffset)
{
	const std::string blob = make_blob({.bootargs = "old"});
	auto r = run(crv_ostrel_emmc_fdt_update_cb, blob, "console=ttyS0,115200 root=/dev/mmcblk0p5", 0x10000);
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_TRUE(r.stream_closed);
	const std::string t = now();
	EXPECT_EQ(t.substr(0, 0x10000), before.substr(0, 0x10000));
	const size_t end = 0x10000 + CRV_FDT_BUF_SIZE;
	EXPECT_EQ(t.substr(end), before.substr(end));
	EXPECT_EQ(fdt_check_full(t.data() + 0x10000, CRV_FDT_BUF_SIZE), 0);
	EXPECT_EQ(bootargs_at(0x10000), "console=ttyS0,115200 root=/dev/mmcblk0p5");
	const uint32_t total = fdt_totalsize(t.data() + 0x10000);
	EXPECT_EQ(t.substr(0x10000 + total, CRV_FDT_BUF_SIZE - total), std::string(CRV_FDT_BUF_SIZE - total, '\0'));
}

TEST_F(FdtWriter, ChosenIsAddedWhenTheBlobHasNone)
{
	auto r = run(crv_ostrel_emmc_fdt_update_cb, make_blob({.chosen = false}), "quiet");
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_EQ(bootargs_at(0), "quiet");
}

TEST_F(FdtWriter, LegacyImageHeaderIsRecomputedForTheEditedBlob)
{
	auto r = run(crv_ostrel_emmc_fdt_update_cb, legacy(make_blob({.bootargs = "x"})), "root=/dev/sda1 rw");
	ASSERT_EQ(r.ret, 0) << r.out;
	std::string t = now();
	EXPECT_EQ(bootargs_at(64), "root=/dev/sda1 rw");
	const uint32_t total = fdt_totalsize(t.data() + 64);
	EXPECT_EQ(be32(t, 12), total);
	EXPECT_EQ(be32(t, 24), ref_crc32(t.data() + 64, total));
	const uint32_t hcrc = be32(t, 4);
	memset(t.data() + 4, 0, 4);
	EXPECT_EQ(hcrc, ref_crc32(t.data(), 64));
	EXPECT_EQ(t.substr(32, 3), "fdt");
}

TEST_F(FdtWriter, BadSingleBlobsFailAndLeaveTheTargetAlone)
{
	const std::string good = make_blob({});
	// Larger than the buffer.
	std::string big = good;
	big.resize(CRV_FDT_BUF_SIZE + 1, '\0');
	auto r = run(crv_ostrel_emmc_fdt_update_cb, big, "a");
	EXPECT_EQ(r.ret, -22);
	EXPECT_TRUE(r.stream_closed);
	// A header claiming more than the buffer, and one cut short.
	std::string huge = good;
	const uint32_t claim = htobe32(0x7fffffff);
	memcpy(huge.data() + 4, &claim, 4);
	r = run(crv_ostrel_emmc_fdt_update_cb, huge, "a");
	EXPECT_EQ(r.ret, -5);
	EXPECT_TRUE(has(r.out, "crv_ostrel_emmc_fdt_update_cb update bootarg fail !\n")) << r.out;
	r = run(crv_ostrel_emmc_fdt_tcon_cb, legacy(std::string(good, 0, 20)), "a");
	EXPECT_EQ(r.ret, -5);
	EXPECT_TRUE(has(r.out, "crv_ostrel_emmc_fdt_tcon_cb update bootarg fail !\n")) << r.out;
	// Header length beyond the stream.
	r = run(crv_ostrel_emmc_fdt_update_cb, good, "a", 0, "fdt", int64_t(good.size() + 100));
	EXPECT_EQ(r.ret, -5);
	EXPECT_EQ(now(), before);
	// A target that cannot be opened.
	const std::string missing = dir + "/none/p1";
	r = run(crv_ostrel_emmc_fdt_update_cb, good, "a", 0, "fdt", -1, &missing);
	EXPECT_EQ(r.ret, -5);
	EXPECT_EQ(r.out, "crv_ostrel_emmc_fdt_update_cb open device " + missing + " fail !\n");
}

// Blobs on which libfdt itself misbehaves are refused before libfdt edits
// them: a version-3 blob whose root name holds no '/' (the full check
// dereferenced null), and a version-17 blob whose reservation map runs over
// its structure block (the pack that followed a refused open wrote past the
// 273-byte payload).
std::string old_version_blob()
{
	std::string b(72, '\0');
	const uint32_t words[] = {0xd00dfeed, 72, 56, 72, 40, 3, 2, 0, 0};
	for (size_t i = 0; i < std::size(words); i++)
		put_be32(b, 4 * i, words[i]);
	put_be32(b, 56, FDT_BEGIN_NODE);
	b[60] = 'a';
	put_be32(b, 64, FDT_END_NODE);
	put_be32(b, 68, FDT_END);
	return b;
}

std::string overlapping_reservations_blob()
{
	std::string b(273, '\0');
	const uint32_t words[] = {0xd00dfeed, 273, 56, 72, 40, 17, 16, 0, 0, 16};
	for (size_t i = 0; i < std::size(words); i++)
		put_be32(b, 4 * i, words[i]);
	put_be32(b, 52, 1); // one reserved byte, then no terminator before the structure
	put_be32(b, 56, FDT_BEGIN_NODE);
	put_be32(b, 64, FDT_END_NODE);
	put_be32(b, 68, FDT_END);
	std::fill(b.begin() + 72, b.begin() + 248, '\x01'); // the map's terminator at 248
	return b;
}

TEST_F(FdtWriter, BlobsLibfdtMishandlesAreRefused)
{
	for (const std::string &blob : {old_version_blob(), overlapping_reservations_blob()}) {
		auto r = run(crv_ostrel_emmc_fdt_update_cb, blob, "quiet");
		EXPECT_EQ(r.ret, -5);
		EXPECT_TRUE(has(r.out, "crv_ostrel_emmc_fdt_update_cb update bootarg fail !\n")) << r.out;
		r = run(crv_ostrel_emmc_fdt_pack_update_cb, blob, "quiet");
		EXPECT_EQ(r.ret, -22);
		EXPECT_TRUE(has(r.out, "crv_ostrel_emmc_fdt_pack_update_cb invalid fdt pack image format !\n")) << r.out;
	}
	EXPECT_EQ(now(), before);
}

// Blobs and legacy images made by dtc and mkimage, edited by the writers and
// read back by fdtget and dumpimage.
class FdtWriterTools : public FdtWriter {
protected:
	// Runs a shell command; its standard output, or "<failed>".
	std::string sh(const std::string &cmd)
	{
		std::string out;
		FILE *p = popen(cmd.c_str(), "r");
		char buf[512];
		for (size_t n; p && (n = fread(buf, 1, sizeof(buf), p)) > 0;)
			out.append(buf, n);
		return p && pclose(p) == 0 ? out : "<failed>";
	}
	std::string dtb(const std::string &id)
	{
		const std::string dts = dir + "/" + id + ".dts", out = dir + "/" + id + ".dtb";
		std::ofstream(dts) << "/dts-v1/;\n/ {\n\tmodel = \"test board\";\n\tchosen {\n\t\tbootargs = \"old\";\n"
				   << "\t\tcrv_id_str = \"" << id << "\";\n\t};\n};\n";
		EXPECT_EQ(sh("dtc -q -I dts -O dtb -o " + out + " " + dts), "");
		return read_file(out);
	}
	// What fdtget reads from a blob the target holds at off.
	std::string fdtget(size_t off, size_t len, const std::string &prop)
	{
		const std::string f = dir + "/back.dtb";
		std::ofstream(f, std::ios::binary) << now().substr(off, len);
		return sh("fdtget " + f + " /chosen " + prop);
	}
};

TEST_F(FdtWriterTools, DtcBlobsPacksAndMkimageImages)
{
	const std::string a = dtb("A"), b = dtb("B");
	auto r = run(crv_ostrel_emmc_fdt_update_cb, a, "console=ttyS0,115200 root=/dev/mmcblk0p5", 0x1000);
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_EQ(fdtget(0x1000, CRV_FDT_BUF_SIZE, "bootargs"), "console=ttyS0,115200 root=/dev/mmcblk0p5\n");

	g_hook_id = "B";
	crv_ostrel_set_fdt_pack_hook(test_hook, nullptr);
	r = run(crv_ostrel_emmc_fdt_pack_update_cb, pack({a, b}), "quiet");
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_EQ(fdtget(0, CRV_FDT_PACK_SLOT, "bootargs"), "old\n");
	EXPECT_EQ(fdtget(CRV_FDT_PACK_SLOT, CRV_FDT_PACK_SLOT, "bootargs"), "quiet\n");
	EXPECT_EQ(fdtget(CRV_FDT_PACK_SLOT, CRV_FDT_PACK_SLOT, "crv_id_str"), "B\n");

	// A legacy image: dumpimage must take the header the writer recomputed
	// (both CRCs) and find the edited blob as its data.
	const std::string img = dir + "/fdt.img";
	ASSERT_NE(sh("mkimage -A arm -O linux -T kernel -C none -a 0 -e 0 -n fdt -d " + dir + "/A.dtb " + img),
		  "<failed>");
	const std::string text(200, 'x');
	r = run(crv_ostrel_emmc_fdt_update_cb, read_file(img), text);
	ASSERT_EQ(r.ret, 0) << r.out;
	// dumpimage checks the data CRC over the rest of the file: hand it the
	// image as far as its header says.
	const uint32_t total = fdt_totalsize(now().data() + 64);
	std::ofstream(img, std::ios::binary) << now().substr(0, 64 + total);
	const std::string listing = sh("dumpimage -l " + img);
	EXPECT_TRUE(has(listing, "Image Name:   fdt\n")) << listing;
	EXPECT_TRUE(has(listing, "Data Size:    " + std::to_string(total) + " Bytes")) << listing;
	EXPECT_EQ(sh("dumpimage -T kernel -p 0 -o " + dir + "/data.dtb " + img + " >/dev/null && fdtget " + dir +
		     "/data.dtb /chosen bootargs"),
		  text + "\n");
}

TEST_F(FdtWriter, TconVariantHandsTheDemuraRegionOn)
{
	BlobContent b{.bootargs = "a"};
	b.demura_node = true;
	b.demura[0] = 0x7E000000;
	b.demura[1] = 0x300000;
	auto r = run(crv_ostrel_emmc_fdt_tcon_cb, make_blob(b), "quiet");
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_EQ(crv_ostrel_context().demura_start, 0x7E000000u);
	EXPECT_EQ(crv_ostrel_context().demura_size, 0x300000u);
	// A later tree without the region leaves nothing stale behind.
	r = run(crv_ostrel_emmc_fdt_tcon_cb, make_blob({}), "quiet");
	EXPECT_EQ(r.ret, 0);
	EXPECT_TRUE(has(r.out, "[crv_ostrel_emmc_fdt_tcon_cb] No demura memory!\n")) << r.out;
	EXPECT_EQ(crv_ostrel_context().demura_start, 0u);
	EXPECT_EQ(crv_ostrel_context().demura_size, 0u);
}

TEST_F(FdtWriter, PackEditsOnlyTheSlotCarryingTheHookId)
{
	const std::string p = pack({make_blob({.id = "A", .bootargs = "one"}), make_blob({.id = "B", .bootargs = "two"}),
				   make_blob({.id = "C", .bootargs = "three"})});
	g_hook_id = "B";
	crv_ostrel_set_fdt_pack_hook(test_hook, nullptr);
	auto r = run(crv_ostrel_emmc_fdt_pack_update_cb, p, "root=/dev/mmcblk0p7", 0x1000);
	ASSERT_EQ(r.ret, 0) << r.out;
	const std::string t = now().substr(0x1000, p.size());
	EXPECT_EQ(t.substr(0, CRV_FDT_PACK_SLOT), p.substr(0, CRV_FDT_PACK_SLOT));
	EXPECT_EQ(t.substr(2 * CRV_FDT_PACK_SLOT), p.substr(2 * CRV_FDT_PACK_SLOT));
	EXPECT_STREQ(fdt_get_bootargs(t.data() + CRV_FDT_PACK_SLOT), "root=/dev/mmcblk0p7");
	EXPECT_STREQ(fdt_get_id_str(t.data() + CRV_FDT_PACK_SLOT), "B");
	const uint32_t total = fdt_totalsize(t.data() + CRV_FDT_PACK_SLOT);
	EXPECT_EQ(t.substr(CRV_FDT_PACK_SLOT + total, CRV_FDT_PACK_SLOT - total),
		  std::string(CRV_FDT_PACK_SLOT - total, '\0'));
	EXPECT_EQ(now().substr(0x1000 + p.size()), before.substr(0x1000 + p.size()));
}

TEST_F(FdtWriter, PackWithoutHookTakesTheFirstAndLegacyHeaderFollowsIt)
{
	BlobContent b{.id = "A", .bootargs = "one"};
	b.demura_node = true;
	b.demura[0] = 0x10;
	b.demura[1] = 0x20;
	const std::string p = legacy(pack({make_blob(b), make_blob({.id = "B"})}));
	auto r = run(crv_ostrel_emmc_fdt_pack_tcon_cb, p, "quiet");
	ASSERT_EQ(r.ret, 0) << r.out;
	const std::string t = now();
	EXPECT_EQ(bootargs_at(64), "quiet");
	const uint32_t total = fdt_totalsize(t.data() + 64);
	EXPECT_EQ(be32(t, 12), total);
	EXPECT_EQ(be32(t, 24), ref_crc32(t.data() + 64, total));
	EXPECT_EQ(crv_ostrel_context().demura_start, 0x10u);
	EXPECT_EQ(crv_ostrel_context().demura_size, 0x20u);
}

TEST_F(FdtWriter, PackWithEmptyTextOnlyChecksTheBlob)
{
	const std::string p = pack({make_blob({.bootargs = "keep me"})});
	auto r = run(crv_ostrel_emmc_fdt_pack_update_cb, p, "");
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_TRUE(has(r.out, "txt_param is empty, skip bootargs.\n"));
	EXPECT_EQ(bootargs_at(0), "keep me");
}

TEST_F(FdtWriter, BrokenOrUnmatchedPacksAreRefused)
{
	g_hook_id = "Z";
	crv_ostrel_set_fdt_pack_hook(test_hook, nullptr);
	const char *msg = "crv_ostrel_emmc_fdt_pack_update_cb invalid fdt pack image format !\n";
	// No slot carries the id.
	auto r = run(crv_ostrel_emmc_fdt_pack_update_cb, pack({make_blob({.id = "A"}), make_blob({.id = "B"})}), "x");
	EXPECT_EQ(r.ret, -22);
	EXPECT_TRUE(has(r.out, msg)) << r.out;
	// A slot without an id string ends the walk.
	r = run(crv_ostrel_emmc_fdt_pack_update_cb, pack({make_blob({}), make_blob({.id = "Z"})}), "x");
	EXPECT_EQ(r.ret, -22);
	// A slot whose blob claims to run into the next slot.
	std::string p = pack({make_blob({.id = "A"}), make_blob({.id = "Z"})});
	const uint32_t claim = htobe32(CRV_FDT_PACK_SLOT + 8);
	memcpy(p.data() + 4, &claim, 4);
	r = run(crv_ostrel_emmc_fdt_pack_update_cb, p, "x");
	EXPECT_EQ(r.ret, -22);
	// The last slot cut short by the end of the payload.
	p = pack({make_blob({.id = "A"})}) + make_blob({.id = "Z"}).substr(0, 30);
	r = run(crv_ostrel_emmc_fdt_pack_update_cb, p, "x");
	EXPECT_EQ(r.ret, -22);
	EXPECT_EQ(now(), before);
}

TEST_F(FdtWriter, PackLengthsBeyondTheFileAllocateNothing)
{
	const std::string p = pack({make_blob({.id = "A"})});
	for (crv_img_cb_fn writer : {crv_ostrel_emmc_fdt_pack_update_cb, dlx_emmc_fdt_pack_update_cb}) {
		auto r = run(writer, p, "quiet", 0, "fdt", int64_t(1) << 40);
		EXPECT_EQ(r.ret, -5);
		EXPECT_TRUE(has(r.out, " read fdt fail !\n")) << r.out;
	}
	EXPECT_EQ(now(), before);
}

TEST_F(FdtWriter, PackBootargsThatDoNotFitTheSlotFail)
{
	// The slot is the payload's tail: no room to grow.
	const std::string blob = make_blob({.bootargs = "a"});
	const std::string text(1000, 'x');
	auto r = run(crv_ostrel_emmc_fdt_pack_update_cb, blob, text);
	EXPECT_EQ(r.ret, -5);
	EXPECT_TRUE(has(r.out, "crv_ostrel_emmc_fdt_pack_update_cb update bootarg fail !\n")) << r.out;
	EXPECT_EQ(now(), before);
}

TEST_F(FdtWriter, DlxKeepsTheConsoleOfTheFlashedPack)
{
	// The pack in the flash.
	const std::string flashed = pack({make_blob({.id = "A", .bootargs = "console=ttyS9,9600"}),
					  make_blob({.id = "B", .bootargs = "console=ttyS2,115200 rw"})});
	std::string dev = before;
	memcpy(dev.data() + 0x2000, flashed.data(), flashed.size());
	std::ofstream(target, std::ios::binary).write(dev.data(), std::streamsize(dev.size()));
	g_hook_id = "B";
	crv_ostrel_set_fdt_pack_hook(test_hook, nullptr);
	const std::string p = pack({make_blob({.id = "A"}), make_blob({.id = "B", .bootargs = "old"})});
	auto r = run(dlx_emmc_fdt_pack_update_cb, p, "root=/dev/mmcblk0p5 console=ttyS1,9600 quiet", 0x2000);
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_TRUE(has(r.out, "ori_bootargs = console=ttyS2,115200 rw\n")) << r.out;
	EXPECT_TRUE(has(r.out, "device tty setting = console=ttyS2,115200\n"));
	EXPECT_TRUE(has(r.out, "update bootargs = root=/dev/mmcblk0p5 console=ttyS2,115200 quiet\n"));
	EXPECT_EQ(bootargs_at(0x2000 + CRV_FDT_PACK_SLOT), "root=/dev/mmcblk0p5 console=ttyS2,115200 quiet");
	EXPECT_EQ(now().substr(0x2000, CRV_FDT_PACK_SLOT), p.substr(0, CRV_FDT_PACK_SLOT));
}

TEST_F(FdtWriter, DlxWithEmptyTextUsesTheNewBlobsOwnArgumentsAndTheDefaultConsole)
{
	// The flash holds no readable pack: the default console is kept.
	const std::string p = pack({make_blob({.bootargs = "root=/dev/sda2 ro"})});
	auto r = run(dlx_emmc_fdt_pack_update_cb, p, "");
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_TRUE(has(r.out, "device tty setting = console=ttyS0,115200\n")) << r.out;
	EXPECT_EQ(bootargs_at(0), "root=/dev/sda2 ro console=ttyS0,115200");
	// A new blob with no boot arguments at all.
	r = run(dlx_emmc_fdt_pack_update_cb, pack({make_blob({.chosen = false})}), "");
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_EQ(bootargs_at(0), " console=ttyS0,115200");
}

TEST(FdtConsole, SettingAndMergeStayBounded)
{
	EXPECT_EQ(crv_fdt_console_setting("rw"), "console=ttyS0,115200");
	EXPECT_EQ(crv_fdt_console_setting("console=ttyS2 rw"), "console=ttyS2,115200");
	EXPECT_EQ(crv_fdt_console_setting("console=ttyAMA0,9600n8 rw"), "console=ttyAMA0,115200");
	EXPECT_EQ(crv_fdt_console_setting(("console=" + std::string(2000, 'y')).c_str()),
		  "console=" + std::string(64, 'y') + ",115200");
	std::string out;
	ASSERT_TRUE(crv_fdt_merge_console("  a   console=x\tb  ", "console=S,115200", &out));
	EXPECT_EQ(out, "a console=S,115200 b");
	// The last word is appended as it is.
	ASSERT_TRUE(crv_fdt_merge_console("a console=x", "console=S,115200", &out));
	EXPECT_EQ(out, "a console=x");
	EXPECT_FALSE(crv_fdt_merge_console(std::string(1010, 'r').c_str(), "console=ttyS0,115200", &out));
	// Short console words replaced by a long setting.
	std::string many;
	for (int i = 0; i < 90; i++)
		many += "console=a ";
	EXPECT_FALSE(crv_fdt_merge_console((many + "end").c_str(), "console=" + std::string(64, 'y') + ",115200",
					   &out));
}

class AndroidFdt : public FdtWriter {
protected:
	void container(const std::string &boot_name, const std::string &magic, uint32_t ramdisk)
	{
		std::string ahdr(0x260, '\0');
		memcpy(ahdr.data(), magic.data(), magic.size());
		memcpy(ahdr.data() + 16, &ramdisk, 4);
		imgbuilder::Image boot;
		boot.name = boot_name;
		boot.target = "/dev/null";
		boot.data = ahdr + std::string(4096, 'k');
		imgbuilder::Image fdt;
		fdt.name = "fdt0";
		fdt.data = "x";
		const std::string path = dir + "/fw.img";
		imgbuilder::write_container(path, {fdt, boot});
		crv_ostrel_set_img_path(path.c_str());
	}
};

TEST_F(AndroidFdt, InitrdSizeComesFromTheBootImage)
{
	container("boot", "ANDROID!", 0x2a3f10);
	auto r = run(crv_ostrel_emmc_android_fdt_update_cb, make_blob({}), "console=ttyS0 initrd=0x1000000,0x400000",
		     0, "fdt0");
	ASSERT_EQ(r.ret, 0) << r.out;
	EXPECT_EQ(bootargs_at(0), "console=ttyS0 initrd=0x1000000,0x2a3f10");
}

TEST_F(AndroidFdt, BadCompanionOrTextFails)
{
	const std::string blob = make_blob({});
	const std::string fn = "crv_ostrel_emmc_android_fdt_update_cb";
	auto r = run(crv_ostrel_emmc_android_fdt_update_cb, blob, "initrd=1,2", 0, "fdt0");
	EXPECT_EQ(r.ret, -22);
	EXPECT_EQ(r.out, fn + " open whole image fail !\n");
	container("boot", "ANDROID!", 1);
	r = run(crv_ostrel_emmc_android_fdt_update_cb, blob, "initrd=1,2", 0, "fdt1");
	EXPECT_EQ(r.ret, -5);
	EXPECT_TRUE(has(r.out, fn + " get recovery image fail !\n")) << r.out;
	r = run(crv_ostrel_emmc_android_fdt_update_cb, blob, "root=/dev/sda", 0, "fdt0");
	EXPECT_EQ(r.ret, -22);
	EXPECT_TRUE(has(r.out, fn + " invalid ramdisk start address !\n"));
	r = run(crv_ostrel_emmc_android_fdt_update_cb, blob, "initrd=0x100", 0, "fdt0");
	EXPECT_EQ(r.ret, -22);
	EXPECT_TRUE(has(r.out, fn + " invalid ramdisk size !\n"));
	// A comma at the very end of a full-length text leaves no room for the size.
	std::string full(1020, 'a');
	full += " initrd=1,";
	r = run(crv_ostrel_emmc_android_fdt_update_cb, blob, full.substr(full.size() - 1028), 0, "fdt0");
	EXPECT_EQ(r.ret, -22);
	container("recovery", "ANDROIX!", 1);
	r = run(crv_ostrel_emmc_android_fdt_update_cb, blob, "initrd=1,2", 0, "fdt1");
	EXPECT_EQ(r.ret, -22);
	EXPECT_TRUE(has(r.out, fn + " invalid android image header !\n"));
	EXPECT_EQ(now(), before);
}

// The tcon partition writer: the eMMC writer refuses an image name that
// cannot stand in a command line, so its failure is seen without a device.
TEST_F(FdtWriter, TconStampHasTheRegionInMachineOrder)
{
	ASSERT_EQ(crv_update_tcon_paras(target.c_str(), 0x7E000000, 0x300000), 0);
	const std::string t = now();
	const uint8_t want[] = {0x00, 0x00, 0x00, 0x7E, 0x00, 0x00, 0x30, 0x00};
	EXPECT_EQ(t.substr(0, 8), std::string(reinterpret_cast<const char *>(want), 8));
	EXPECT_EQ(t.substr(8), before.substr(8));
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_update_tcon_paras((dir + "/none/x").c_str(), 1, 1), -1);
	EXPECT_EQ(cap.finish(), "crv_update_tcon_paras open device " + dir + "/none/x fail !\n");
}

TEST_F(FdtWriter, WritesReachTheDeviceBeforeTheWritersReturn)
{
	g_synced.clear();
	ASSERT_EQ(run(crv_ostrel_emmc_fdt_update_cb, make_blob({}), "quiet").ret, 0);
	ASSERT_EQ(crv_update_tcon_paras(target.c_str(), 0x7E000000, 0x300000), 0);
	EXPECT_EQ(g_synced, (std::vector<std::string>{target, target}));
}

TEST_F(FdtWriter, TconWriterStampsOnlyWithARegionAndKeepsTheWritersError)
{
	auto r = run(crv_ostrel_emmc_tcon_cb, "data", "", 0, "t;x");
	EXPECT_NE(r.ret, 0);
	EXPECT_EQ(now(), before);
	crv_ostrel_context().demura_start = 0x7E000000;
	crv_ostrel_context().demura_size = 0x300000;
	const int writer_err = r.ret;
	r = run(crv_ostrel_emmc_tcon_cb, "data", "", 0, "t;x");
	EXPECT_EQ(r.ret, writer_err);
	EXPECT_EQ(be32(now(), 0), 0x0000007Eu);
	const std::string missing = dir + "/none/p";
	r = run(crv_ostrel_emmc_tcon_cb, "data", "", 0, "t;x", -1, &missing);
	EXPECT_EQ(r.ret, -1);
	EXPECT_TRUE(has(r.out, "[crv_ostrel_emmc_tcon_cb] update tcon demura paras FAILED!\n")) << r.out;
}

} // namespace
