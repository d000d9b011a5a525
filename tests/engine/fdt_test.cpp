#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <libfdt.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "capture.h"
#include "crv_fdt.h"

namespace {

struct Prop {
	std::string name;
	std::string value; // raw bytes, terminator included when wanted
};

struct Node {
	std::string name;
	std::vector<Prop> props{};
	std::vector<Node> children{};
};

void emit(void *fdt, const Node &n)
{
	ASSERT_EQ(fdt_begin_node(fdt, n.name.c_str()), 0);
	for (const auto &p : n.props)
		ASSERT_EQ(fdt_property(fdt, p.name.c_str(), p.value.data(), int(p.value.size())), 0);
	for (const auto &c : n.children)
		emit(fdt, c);
	ASSERT_EQ(fdt_end_node(fdt), 0);
}

// A blob of the tree under root, with `slack` free bytes for edits.
std::vector<char> make_blob(const Node &root, int slack = 1024)
{
	std::vector<char> seq(16384);
	EXPECT_EQ(fdt_create(seq.data(), int(seq.size())), 0);
	EXPECT_EQ(fdt_finish_reservemap(seq.data()), 0);
	emit(seq.data(), root);
	EXPECT_EQ(fdt_finish(seq.data()), 0);
	std::vector<char> out(fdt_totalsize(seq.data()) + slack);
	EXPECT_EQ(fdt_open_into(seq.data(), out.data(), int(out.size())), 0);
	if (slack == 0) {
		EXPECT_EQ(fdt_pack(out.data()), 0);
	}
	return out;
}

std::string str(const char *s)
{
	return std::string(s, strlen(s) + 1);
}

std::string be_cells(std::initializer_list<uint32_t> cells)
{
	std::string s;
	for (uint32_t c : cells) {
		fdt32_t be = cpu_to_fdt32(c);
		s.append(reinterpret_cast<const char *>(&be), 4);
	}
	return s;
}

Node with_chosen(std::vector<Prop> props)
{
	return Node{"", {}, {Node{"chosen", std::move(props)}}};
}

std::string err(int code)
{
	return fdt_strerror(code);
}

// ---- /chosen and its boot arguments -----------------------------------------

TEST(FdtChosen, AddsChosenAndSetsBootargsWithTheirNul)
{
	auto blob = make_blob(Node{"", {{"model", str("set")}}});
	ASSERT_EQ(fdt_subnode_offset(blob.data(), 0, "chosen"), -FDT_ERR_NOTFOUND);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(fdt_chosen(blob.data(), "console=ttyS0,115200 quiet"), 0);
	EXPECT_EQ(cap.finish(), "");
	int node = fdt_subnode_offset(blob.data(), 0, "chosen");
	ASSERT_GE(node, 0);
	int len = 0;
	const char *v = static_cast<const char *>(fdt_getprop(blob.data(), node, "bootargs", &len));
	ASSERT_NE(v, nullptr);
	EXPECT_EQ(std::string(v, len), str("console=ttyS0,115200 quiet"));
}

TEST(FdtChosen, NullTextOnlyAddsTheNodeAndKeepsAnExistingOne)
{
	auto blob = make_blob(Node{""});
	EXPECT_EQ(fdt_chosen(blob.data(), nullptr), 0);
	int node = fdt_subnode_offset(blob.data(), 0, "chosen");
	ASSERT_GE(node, 0);
	EXPECT_EQ(fdt_first_property_offset(blob.data(), node), -FDT_ERR_NOTFOUND);

	auto has = make_blob(with_chosen({{"bootargs", str("old")}}));
	int before = fdt_subnode_offset(has.data(), 0, "chosen");
	EXPECT_EQ(fdt_find_or_add_subnode(has.data()), before);
	EXPECT_EQ(fdt_chosen(has.data(), nullptr), 0);
	EXPECT_STREQ(static_cast<const char *>(fdt_getprop(has.data(), before, "bootargs", nullptr)), "old");
	EXPECT_EQ(fdt_chosen(has.data(), "new one"), 0);
	EXPECT_STREQ(fdt_get_bootargs(has.data()), "new one");
}

TEST(FdtChosen, FailuresGiveTheLibraryErrorAndSayWhy)
{
	{
		auto full = make_blob(with_chosen({}), 0);
		testsupport::StdoutCapture cap;
		EXPECT_EQ(fdt_chosen(full.data(), "root=/dev/mtdblock3"), -FDT_ERR_NOSPACE);
		EXPECT_EQ(cap.finish(), "WARNING: could not set bootargs " + err(-FDT_ERR_NOSPACE) + ".\n");
	}
	{
		auto full = make_blob(Node{""}, 0);
		testsupport::StdoutCapture cap;
		EXPECT_EQ(fdt_chosen(full.data(), "x"), -FDT_ERR_NOSPACE);
		EXPECT_EQ(cap.finish(), "fdt_find_or_add_subnode: chosen: " + err(-FDT_ERR_NOSPACE) + "\n");
	}
	{
		std::vector<char> junk(256, 0x5A);
		testsupport::StdoutCapture cap;
		EXPECT_EQ(fdt_chosen(junk.data(), "x"), -FDT_ERR_BADMAGIC);
		EXPECT_EQ(cap.finish(), "fdt_chosen: " + err(-FDT_ERR_BADMAGIC) + "\n");
	}
}

// ---- Getters ----------------------------------------------------------------

TEST(FdtGetters, ReturnTheStringsInsideTheBlob)
{
	auto blob = make_blob(with_chosen({{"bootargs", str("console=ttyS1")}, {"crv_id_str", str("panel-55")}}));
	testsupport::StdoutCapture cap;
	const char *args = fdt_get_bootargs(blob.data());
	const char *id = fdt_get_id_str(blob.data());
	EXPECT_EQ(cap.finish(), "bootargs : console=ttyS1\n");
	ASSERT_NE(args, nullptr);
	ASSERT_NE(id, nullptr);
	EXPECT_STREQ(args, "console=ttyS1");
	EXPECT_STREQ(id, "panel-55");
	EXPECT_GT(args, blob.data());
	EXPECT_LT(id, blob.data() + blob.size());
}

TEST(FdtGetters, MissingOrUnterminatedValuesGiveNull)
{
	auto none = make_blob(Node{""});
	auto empty = make_blob(with_chosen({}));
	auto raw = make_blob(with_chosen({{"bootargs", "no-nul"}, {"crv_id_str", "abc"}}));
	auto zero_len = make_blob(with_chosen({{"bootargs", ""}, {"crv_id_str", ""}}));
	testsupport::StdoutCapture cap;
	for (auto *b : {&none, &empty, &raw, &zero_len}) {
		EXPECT_EQ(fdt_get_bootargs(b->data()), nullptr);
		EXPECT_EQ(fdt_get_id_str(b->data()), nullptr);
	}
	EXPECT_EQ(cap.finish(), "");
}

TEST(FdtGetters, BadHeadersAreReported)
{
	std::vector<char> junk(128, 0);
	testsupport::StdoutCapture cap;
	EXPECT_EQ(fdt_get_bootargs(junk.data()), nullptr);
	EXPECT_EQ(fdt_get_id_str(junk.data()), nullptr);
	uint32_t a = 1, b = 2;
	EXPECT_EQ(fdt_get_demura(junk.data(), &a, &b), -1);
	std::string e = err(-FDT_ERR_BADMAGIC);
	EXPECT_EQ(cap.finish(), "fdt_get_bootargs: " + e + "\nfdt_chosen: " + e + "\ncheck header: " + e + "\n");
	EXPECT_EQ(a, 1u);
	EXPECT_EQ(b, 2u);
}

Node demura_tree(std::vector<Prop> props)
{
	return Node{"", {}, {Node{"memory_tbl", {}, {Node{"demura", std::move(props)}}}}};
}

TEST(FdtDemura, CellsComeBackInHostOrder)
{
	auto blob = make_blob(demura_tree({{"region", be_cells({0x7E000000, 0x300000})}}));
	uint32_t start = 0, size = 0;
	testsupport::StdoutCapture cap;
	EXPECT_EQ(fdt_get_demura(blob.data(), &start, &size), 0);
	EXPECT_EQ(cap.finish(), "[fdt_get_demura]demura:0x7e000000,0x00300000\n");
	EXPECT_EQ(start, 0x7E000000u);
	EXPECT_EQ(size, 0x300000u);
}

TEST(FdtDemura, MissingNodesOrShortRegionsFail)
{
	uint32_t a = 0, b = 0;
	{
		auto blob = make_blob(Node{""});
		testsupport::StdoutCapture cap;
		EXPECT_EQ(fdt_get_demura(blob.data(), &a, &b), -1);
		EXPECT_EQ(cap.finish(), "fdt_get_demura: memory_tbl: " + err(-FDT_ERR_NOTFOUND) + "\n");
	}
	{
		auto blob = make_blob(Node{"", {}, {Node{"memory_tbl"}}});
		testsupport::StdoutCapture cap;
		EXPECT_EQ(fdt_get_demura(blob.data(), &a, &b), -1);
		EXPECT_EQ(cap.finish(), "fdt_get_demura: demura: " + err(-FDT_ERR_NOTFOUND) + "\n");
	}
	for (const std::string &region : {std::string(), be_cells({0x7E000000})}) {
		auto blob = make_blob(demura_tree(region.empty() ? std::vector<Prop>{} : std::vector<Prop>{{"region", region}}));
		testsupport::StdoutCapture cap;
		EXPECT_EQ(fdt_get_demura(blob.data(), &a, &b), -1);
		EXPECT_EQ(cap.finish(), "");
	}
	EXPECT_EQ(a, 0u);
	EXPECT_EQ(b, 0u);
}

// ---- Writing a blob ------------------------------------------------------------

class FdtWrite : public ::testing::Test {
protected:
	void SetUp() override
	{
		char tmpl[] = "/tmp/crvfdt-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir_ = tmpl;
	}
	void TearDown() override { std::filesystem::remove_all(dir_); }

	std::string read(const std::string &path)
	{
		std::ifstream f(path, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(f), {});
	}

	std::string dir_;
};

TEST_F(FdtWrite, WritesExactlyTheTotalSizeOverAnOlderFile)
{
	auto blob = make_blob(with_chosen({{"bootargs", str("a")}}), 4096);
	std::string path = dir_ + "/out.dtb";
	{
		std::ofstream old(path);
		old << std::string(20000, 'o');
	}
	EXPECT_EQ(crv_fdt_write_blob(path.c_str(), blob.data()), 0);
	std::string got = read(path);
	ASSERT_EQ(got.size(), fdt_totalsize(blob.data()));
	EXPECT_EQ(got, std::string(blob.data(), got.size()));
}

TEST_F(FdtWrite, NewFilesGetMode0666LessTheUmask)
{
	auto blob = make_blob(Node{""});
	std::string path = dir_ + "/new.dtb";
	mode_t old = umask(022);
	EXPECT_EQ(crv_fdt_write_blob(path.c_str(), blob.data()), 0);
	umask(old);
	struct stat st;
	ASSERT_EQ(stat(path.c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(FdtWrite, DashWritesToStandardOutputAndLeavesItOpen)
{
	auto blob = make_blob(Node{"", {{"model", str("x")}}});
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_fdt_write_blob("-", blob.data()), 0);
	EXPECT_NE(fcntl(STDOUT_FILENO, F_GETFD), -1);
	EXPECT_EQ(cap.finish(), std::string(blob.data(), fdt_totalsize(blob.data())));
}

TEST_F(FdtWrite, FailuresGiveThePositiveErrorNumber)
{
	auto blob = make_blob(Node{""});
	std::string missing = dir_ + "/no/such/dir.dtb";
	EXPECT_EQ(crv_fdt_write_blob(missing.c_str(), blob.data()), ENOENT);

	if (access("/dev/full", W_OK) == 0) {
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_fdt_write_blob("/dev/full", blob.data()), ENOSPC);
		EXPECT_EQ(cap.finish(), "Couldn't write blob to \"/dev/full\": " + std::string(strerror(ENOSPC)));
	}
}

TEST_F(FdtWrite, AHeaderClaimingMoreThanTheBufferIsRefused)
{
	auto blob = make_blob(Node{""});
	std::string path = dir_ + "/big.dtb";
	fdt_set_totalsize(blob.data(), uint32_t(blob.size() + 4096));
	testsupport::StdoutCapture cap;
	EXPECT_EQ(crv_fdt_write_blob(path.c_str(), blob.data(), blob.size()), EINVAL);
	EXPECT_EQ(cap.finish(), "Couldn't write blob to \"" + path + "\": " + std::string(strerror(EINVAL)));
	EXPECT_EQ(read(path), "");
}

// ---- fdt-pack hook --------------------------------------------------------------

TEST(FdtPackHook, WithoutAHookTheWritersGetNoId)
{
	crv_per_img_hdr hdr{};
	crv_per_img_handle handle{};
	EXPECT_EQ(crv_ostrel_call_fdt_pack_hook(&hdr, &handle), nullptr);
}

TEST(FdtPackHook, TheHookGetsItsUserWordAndTheHandle)
{
	struct Seen {
		void *user = nullptr;
		crv_per_img_handle *handle = nullptr;
	};
	static Seen seen;
	int user_word = 0;
	crv_ostrel_set_fdt_pack_hook(
		[](void *user, crv_per_img_handle *handle) -> const char * {
			seen.user = user;
			seen.handle = handle;
			return "panel-65";
		},
		&user_word);
	crv_per_img_hdr hdr{};
	crv_per_img_handle handle{};
	EXPECT_STREQ(crv_ostrel_call_fdt_pack_hook(&hdr, &handle), "panel-65");
	EXPECT_EQ(seen.user, &user_word);
	EXPECT_EQ(seen.handle, &handle);
	crv_ostrel_set_fdt_pack_hook(nullptr, nullptr);
	EXPECT_EQ(crv_ostrel_call_fdt_pack_hook(&hdr, &handle), nullptr);
}

} // namespace
