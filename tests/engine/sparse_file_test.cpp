// The sparse-file object: images from img2simg expanded byte for byte as
// simg2img expands them, hand-made images with every chunk type, malformed
// images refused without a crash, and the progress of the expanded write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sparse/sparse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "crv_ostrel_ctx.h"
#include "crv_sparse.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::pair<int, int>> g_events;
std::string g_verbose;

int record(int code, int value, void *)
{
	g_events.emplace_back(code, value);
	return 0;
}

void record_verbose(const char *fmt, ...)
{
	char buf[512];
	va_list ap;
	va_start(ap, fmt);
	vsnprintf(buf, sizeof(buf), fmt, ap);
	va_end(ap);
	g_verbose += buf;
}

std::vector<char> read_file(const fs::path &p)
{
	std::ifstream in(p, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), {}};
}

void write_file(const fs::path &p, const std::vector<char> &data)
{
	std::ofstream out(p, std::ios::binary | std::ios::trunc);
	out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Writes a sparse image chunk by chunk, so that tests can make both sound
// and broken ones.
class SparseImage {
public:
	explicit SparseImage(uint32_t blk_sz = 4096, uint32_t total_blks = 0)
	{
		hdr_ = {0xed26ff3a, 1, 0, 28, 12, blk_sz, total_blks, 0, 0};
	}
	SparseImage &raw(const std::vector<char> &data)
	{
		chunk(0xcac1, static_cast<uint32_t>(data.size() / hdr_.blk_sz), data);
		return *this;
	}
	SparseImage &fill(uint32_t value, uint32_t blocks)
	{
		std::vector<char> v(4);
		memcpy(v.data(), &value, 4);
		chunk(0xcac2, blocks, v);
		return *this;
	}
	SparseImage &dont_care(uint32_t blocks)
	{
		chunk(0xcac3, blocks, {});
		return *this;
	}
	SparseImage &crc(uint32_t value)
	{
		std::vector<char> v(4);
		memcpy(v.data(), &value, 4);
		chunk(0xcac4, 0, v);
		return *this;
	}
	SparseImage &chunk(uint16_t type, uint32_t blocks, const std::vector<char> &data,
			   int64_t total_sz = -1)
	{
		uint32_t total = total_sz < 0 ? static_cast<uint32_t>(12 + data.size())
					       : static_cast<uint32_t>(total_sz);
		char h[12];
		uint16_t zero = 0;
		memcpy(h, &type, 2);
		memcpy(h + 2, &zero, 2);
		memcpy(h + 4, &blocks, 4);
		memcpy(h + 8, &total, 4);
		body_.insert(body_.end(), h, h + 12);
		body_.insert(body_.end(), data.begin(), data.end());
		hdr_.total_chunks++;
		if (type != 0xcac4)
			blocks_ += blocks;
		return *this;
	}

	struct Header {
		uint32_t magic;
		uint16_t major, minor, file_hdr_sz, chunk_hdr_sz;
		uint32_t blk_sz, total_blks, total_chunks, checksum;
	};
	Header &header() { return hdr_; }

	std::vector<char> bytes() const
	{
		Header h = hdr_;
		if (h.total_blks == 0)
			h.total_blks = blocks_;
		std::vector<char> out(28 + body_.size());
		memcpy(out.data(), &h, 28);
		if (!body_.empty())
			memcpy(out.data() + 28, body_.data(), body_.size());
		return out;
	}

private:
	Header hdr_;
	uint32_t blocks_ = 0;
	std::vector<char> body_;
};

std::vector<char> pattern(size_t len, uint32_t seed)
{
	std::vector<char> v(len);
	std::mt19937 rng(seed);
	for (auto &c : v)
		c = static_cast<char>(rng());
	return v;
}

class SparseFile : public ::testing::Test {
protected:
	void SetUp() override
	{
		crv_ostrel_test_reset();
		g_events.clear();
		g_verbose.clear();
		sparse_print_verbose = record_verbose;
		dir_ = fs::temp_directory_path() /
		       ("crv_sparse_" + std::to_string(getpid()) + "_" +
			::testing::UnitTest::GetInstance()->current_test_info()->name());
		fs::create_directories(dir_);
	}
	void TearDown() override { fs::remove_all(dir_); }

	// Imports the file, optionally with a progress record, and writes it
	// expanded to out. Returns the write's result, or 1 when the import
	// was refused.
	int expand(const fs::path &in, const fs::path &out, crv_progress *progress = nullptr,
		   uint64_t *raw = nullptr)
	{
		int ifd = open(in.c_str(), O_RDONLY);
		int ofd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0664);
		EXPECT_GE(ifd, 0);
		EXPECT_GE(ofd, 0);
		crv_sparse_file *s = crv_sparse_file_import(ifd, true, false);
		int ret = 1;
		if (s != nullptr) {
			if (raw != nullptr)
				*raw = s->raw_bytes;
			crv_ostrel_sparse_set_progress(s, progress);
			ret = crv_sparse_file_write(s, ofd, false, false, false);
			crv_sparse_file_destroy(s);
		}
		close(ifd);
		close(ofd);
		return ret;
	}

	fs::path dir_;
};

// --- images made by img2simg, checked against simg2img -------------------

TEST_F(SparseFile, Img2simgImageExpandsAsSimg2imgExpandsIt)
{
	const size_t MiB = 1 << 20;
	// 3 MiB of data, 1 MiB of zeros, a 2 MiB hole, 1 MiB of a repeated
	// word, 1 MiB of data, and a hole at the end.
	fs::path plain = dir_ / "plain.img";
	{
		int fd = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		ASSERT_GE(fd, 0);
		auto a = pattern(3 * MiB, 1);
		ASSERT_EQ(pwrite(fd, a.data(), a.size(), 0), static_cast<ssize_t>(a.size()));
		std::vector<char> zeros(MiB, 0);
		ASSERT_EQ(pwrite(fd, zeros.data(), MiB, 3 * MiB), static_cast<ssize_t>(MiB));
		std::vector<uint32_t> word(MiB / 4, 0xa5c3e1f0);
		ASSERT_EQ(pwrite(fd, word.data(), MiB, 6 * MiB), static_cast<ssize_t>(MiB));
		auto b = pattern(MiB, 2);
		ASSERT_EQ(pwrite(fd, b.data(), MiB, 7 * MiB), static_cast<ssize_t>(MiB));
		ASSERT_EQ(ftruncate(fd, 10 * MiB), 0);
		close(fd);
	}
	fs::path simg = dir_ / "plain.simg";
	fs::path oracle = dir_ / "oracle.img";
	fs::path ours = dir_ / "ours.img";
	ASSERT_EQ(system(("img2simg " + plain.string() + " " + simg.string()).c_str()), 0);
	ASSERT_EQ(system(("simg2img " + simg.string() + " " + oracle.string()).c_str()), 0);

	uint64_t raw = 0;
	ASSERT_EQ(expand(simg, ours, nullptr, &raw), 0);
	EXPECT_EQ(read_file(ours), read_file(oracle));
	EXPECT_EQ(read_file(ours), read_file(plain));
	EXPECT_EQ(fs::file_size(ours), 10 * MiB);
	// Zero and repeated-word blocks travel as fills, holes as skips: only
	// the 4 MiB of data count as raw bytes.
	EXPECT_EQ(raw, 4 * MiB);
}

TEST_F(SparseFile, ImportStartsAtTheDescriptorPosition)
{
	auto data = pattern(8192, 3);
	auto img = SparseImage().raw(data).fill(0x01020304, 1).bytes();
	std::vector<char> file(1000 + img.size(), 'x');
	std::copy(img.begin(), img.end(), file.begin() + 1000);
	write_file(dir_ / "in", file);

	int ifd = open((dir_ / "in").c_str(), O_RDONLY);
	ASSERT_EQ(lseek(ifd, 1000, SEEK_SET), 1000);
	crv_sparse_file *s = crv_sparse_file_import(ifd, true, false);
	ASSERT_NE(s, nullptr);
	EXPECT_EQ(s->raw_bytes, 8192u);
	EXPECT_EQ(s->len, 3 * 4096);
	int ofd = open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0664);
	ASSERT_EQ(crv_sparse_file_write(s, ofd, false, false, false), 0);
	crv_sparse_file_destroy(s);
	close(ifd);
	close(ofd);
	auto out = read_file(dir_ / "out");
	ASSERT_EQ(out.size(), 3 * 4096u);
	EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
	for (size_t i = 8192; i < out.size(); i += 4)
		ASSERT_EQ(out[i], 4);
}

// --- every chunk type, and the object's length ----------------------------

TEST_F(SparseFile, AllChunkTypesExpandToTheFullLength)
{
	auto data = pattern(2 * 4096, 4);
	auto img = SparseImage()
			   .dont_care(2)
			   .raw(data)
			   .crc(0xdeadbeef)
			   .fill(0xaabbccdd, 3)
			   .dont_care(5) // trailing skip: the file still gets its length
			   .bytes();
	write_file(dir_ / "in", img);
	uint64_t raw = 0;
	ASSERT_EQ(expand(dir_ / "in", dir_ / "out", nullptr, &raw), 0);
	EXPECT_EQ(raw, 8192u);
	auto out = read_file(dir_ / "out");
	ASSERT_EQ(out.size(), 12 * 4096u);
	EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 8192, [](char c) { return c == 0; }));
	EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin() + 8192));
	for (size_t i = 4 * 4096; i < 7 * 4096; i += 4) {
		uint32_t w;
		memcpy(&w, &out[i], 4);
		ASSERT_EQ(w, 0xaabbccddu);
	}
	EXPECT_TRUE(std::all_of(out.begin() + 7 * 4096, out.end(), [](char c) { return c == 0; }));
}

TEST_F(SparseFile, DontCareOnlyImageIsARunOfSkips)
{
	write_file(dir_ / "in", SparseImage().dont_care(256).bytes());
	crv_progress progress {4, 100, 0};
	uint64_t raw = 7;
	crv_ostrel_set_event_cb(record, nullptr);
	ASSERT_EQ(expand(dir_ / "in", dir_ / "out", &progress, &raw), 0);
	EXPECT_EQ(raw, 0u);
	EXPECT_EQ(fs::file_size(dir_ / "out"), 256 * 4096u);
	struct stat st {};
	ASSERT_EQ(stat((dir_ / "out").c_str(), &st), 0);
	EXPECT_LT(st.st_blocks * 512, 4096 * 16) << "the output should be a hole";
	EXPECT_TRUE(g_events.empty()); // no backed block, no event
}

TEST_F(SparseFile, CallbackOutputAndChunkCountFollowTheBlockList)
{
	crv_sparse_file *s = crv_sparse_file_new(4096, 10 * 4096);
	ASSERT_NE(s, nullptr);
	auto data = pattern(5000, 5);
	ASSERT_EQ(crv_sparse_file_add_data(s, data.data(), 5000, 2), 0);
	ASSERT_EQ(crv_sparse_file_add_fill(s, 0x11223344, 3 * 4096, 5), 0);
	// skip, data, skip, fill, skip
	EXPECT_EQ(crv_sparse_count_chunks(s), 5);
	EXPECT_EQ(crv_sparse_file_len(s, false, false), 10 * 4096);

	std::vector<char> out;
	auto sink = [](void *priv, const void *d, size_t len) -> int {
		auto *o = static_cast<std::vector<char> *>(priv);
		if (d == nullptr)
			o->insert(o->end(), len, 0);
		else
			o->insert(o->end(), static_cast<const char *>(d), static_cast<const char *>(d) + len);
		return 0;
	};
	ASSERT_EQ(crv_sparse_file_callback(s, false, false, sink, &out), 0);
	ASSERT_EQ(out.size(), 10 * 4096u);
	EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin() + 2 * 4096));
	EXPECT_EQ(out[2 * 4096 + 5000], 0);
	EXPECT_EQ(out[5 * 4096], 0x44);

	// The same object in the sparse format reads back as the same bytes.
	int fd = open((dir_ / "s.simg").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0664);
	ASSERT_EQ(crv_sparse_file_write(s, fd, false, true, false), 0);
	crv_sparse_file_destroy(s);
	ASSERT_EQ(system(("simg2img " + (dir_ / "s.simg").string() + " " + (dir_ / "s.img").string()).c_str()), 0);
	EXPECT_EQ(read_file(dir_ / "s.img"), out);
	close(fd);
}

TEST_F(SparseFile, ResparsedPiecesCoverTheImage)
{
	crv_sparse_file *s = crv_sparse_file_new(4096, 64 * 4096);
	ASSERT_NE(s, nullptr);
	auto data = pattern(32 * 4096, 6);
	ASSERT_EQ(crv_sparse_file_add_data(s, data.data(), 32 * 4096, 16), 0);
	crv_sparse_file *parts[8] = {};
	int n = crv_sparse_file_resparse(s, 48 * 1024, parts, 8);
	ASSERT_GT(n, 1);
	ASSERT_LE(n, 8);
	std::vector<char> whole(64 * 4096, 0);
	for (int i = 0; i < n; i++) {
		EXPECT_LE(crv_sparse_file_len(parts[i], true, false), 48 * 1024);
		std::vector<char> out;
		auto sink = [](void *priv, const void *d, size_t len) -> int {
			auto *o = static_cast<std::vector<char> *>(priv);
			if (d == nullptr)
				o->insert(o->end(), len, 0);
			else
				o->insert(o->end(), static_cast<const char *>(d),
					  static_cast<const char *>(d) + len);
			return 0;
		};
		ASSERT_EQ(crv_sparse_file_callback(parts[i], false, false, sink, &out), 0);
		ASSERT_EQ(out.size(), whole.size());
		for (size_t j = 0; j < out.size(); j++)
			whole[j] |= out[j];
		crv_sparse_file_destroy(parts[i]);
	}
	crv_sparse_file_destroy(s);
	EXPECT_TRUE(std::equal(data.begin(), data.end(), whole.begin() + 16 * 4096));
}

// --- malformed images -----------------------------------------------------

struct Malformed {
	const char *what;
	std::vector<char> image;
	const char *message;
};

TEST_F(SparseFile, MalformedImagesAreRefusedWithLibsparseMessages)
{
	auto data = pattern(4096, 7);
	std::vector<Malformed> cases;
	auto with = [&](const char *what, auto edit, const char *msg) {
		SparseImage img;
		img.raw(data).fill(0, 1);
		edit(img);
		cases.push_back({what, img.bytes(), msg});
	};
	with("magic", [](SparseImage &i) { i.header().magic = 0x12345678; }, "header magic");
	with("major", [](SparseImage &i) { i.header().major = 2; }, "header major version");
	with("file header", [](SparseImage &i) { i.header().file_hdr_sz = 20; }, "Invalid sparse file format");
	with("chunk header", [](SparseImage &i) { i.header().chunk_hdr_sz = 8; }, "Invalid sparse file format");
	with("block size 0", [](SparseImage &i) { i.header().blk_sz = 0; }, "Invalid sparse file format");
	with("block size 6", [](SparseImage &i) { i.header().blk_sz = 6; }, "Invalid sparse file format");
	// A block size that would size libsparse's buffers at 2 GiB.
	cases.push_back({"block size 2 GiB", SparseImage(0x7FFFFFFC, 1).dont_care(1).bytes(), "header block size"});
	with("past the length", [](SparseImage &i) { i.header().total_blks = 1; }, "Invalid sparse file format");
	with("unknown type", [](SparseImage &i) { i.chunk(0xcac9, 1, {}); }, "Invalid sparse file format");
	with("raw size", [&](SparseImage &i) { i.chunk(0xcac1, 2, data); }, "Invalid sparse file format");
	with("fill size", [](SparseImage &i) { i.chunk(0xcac2, 1, std::vector<char>(8)); },
	     "Invalid sparse file format");
	with("4 GiB fill", [](SparseImage &i) { i.fill(0, 1u << 20); }, "Invalid sparse file format");
	with("more chunks than present", [](SparseImage &i) { i.header().total_chunks = 5; },
	     "EOF while reading file");
	// A raw chunk whose data is cut short by the end of the file.
	{
		auto img = SparseImage().raw(pattern(4 * 4096, 8)).bytes();
		img.resize(img.size() - 100);
		cases.push_back({"truncated raw data", img, "EOF while reading file"});
	}
	cases.push_back({"short header", std::vector<char>(20, 0), "EOF while reading file"});

	for (const auto &c : cases) {
		SCOPED_TRACE(c.what);
		g_verbose.clear();
		write_file(dir_ / "in", c.image);
		int ifd = open((dir_ / "in").c_str(), O_RDONLY);
		ASSERT_GE(ifd, 0);
		crv_sparse_file *s = crv_sparse_file_import(ifd, true, false);
		EXPECT_EQ(s, nullptr);
		crv_sparse_file_destroy(s);
		close(ifd);
		EXPECT_NE(g_verbose.find(c.message), std::string::npos) << g_verbose;
	}
	// Without verbose nothing is printed.
	g_verbose.clear();
	write_file(dir_ / "in", std::vector<char>(40, 1));
	int ifd = open((dir_ / "in").c_str(), O_RDONLY);
	EXPECT_EQ(crv_sparse_file_import(ifd, false, false), nullptr);
	close(ifd);
	EXPECT_EQ(g_verbose, "");
}

TEST_F(SparseFile, WriteFailuresAreReturnedAsNegativeErrno)
{
	write_file(dir_ / "in", SparseImage().raw(pattern(4096, 9)).bytes());
	int ifd = open((dir_ / "in").c_str(), O_RDONLY);
	crv_sparse_file *s = crv_sparse_file_import(ifd, true, false);
	ASSERT_NE(s, nullptr);
	int full = open("/dev/full", O_WRONLY);
	if (full >= 0) {
		EXPECT_EQ(crv_sparse_file_write(s, full, false, false, false), -ENOSPC);
		close(full);
	}
	int ro = open((dir_ / "in").c_str(), O_RDONLY);
	EXPECT_EQ(crv_sparse_file_write(s, ro, false, false, false), -EBADF);
	close(ro);
	crv_sparse_file_destroy(s);
	close(ifd);
}

// --- progress of the expanded write ---------------------------------------

TEST_F(SparseFile, ProgressRunsFromTheDoneShareOverTheImageShare)
{
	// Four raw chunks of 64 KiB between skips: 256 KiB raw is 10 % of the
	// total, 40 % of which is done.
	SparseImage img;
	for (int i = 0; i < 4; i++)
		img.raw(pattern(16 * 4096, 10 + i)).dont_care(3);
	write_file(dir_ / "in", img.bytes());
	const uint64_t raw_total = 4 * 16 * 4096;
	crv_progress progress {4 * raw_total, 10 * raw_total, 0};
	crv_ostrel_set_event_cb(record, nullptr);
	ASSERT_EQ(expand(dir_ / "in", dir_ / "out", &progress), 0);
	std::vector<std::pair<int, int>> expect {{0, 42}, {0, 45}, {0, 47}, {0, 50}};
	EXPECT_EQ(g_events, expect);
	EXPECT_EQ(progress.last_percent, 0); // the write leaves the record alone
}

TEST_F(SparseFile, FillBlocksCountAsWrittenAndMayPassTheImageShare)
{
	auto img = SparseImage().raw(pattern(4096, 20)).fill(0, 3).bytes();
	write_file(dir_ / "in", img);
	crv_progress progress {0, 4096 * 10, 0}; // raw 4 KiB: span 10
	crv_ostrel_set_event_cb(record, nullptr);
	ASSERT_EQ(expand(dir_ / "in", dir_ / "out", &progress), 0);
	std::vector<std::pair<int, int>> expect {{0, 10}, {0, 40}};
	EXPECT_EQ(g_events, expect);
}

TEST_F(SparseFile, ZeroDivisorsReportTheBaseOrNothing)
{
	write_file(dir_ / "in", SparseImage().fill(7, 2).raw(pattern(4096, 21)).bytes());
	crv_ostrel_set_event_cb(record, nullptr);

	crv_progress no_total {123, 0, 0};
	ASSERT_EQ(expand(dir_ / "in", dir_ / "o1", &no_total), 0);
	std::vector<std::pair<int, int>> zeros {{0, 0}, {0, 0}};
	EXPECT_EQ(g_events, zeros);

	g_events.clear();
	ASSERT_EQ(expand(dir_ / "in", dir_ / "o2", nullptr), 0);
	EXPECT_TRUE(g_events.empty());

	// Fill only: raw bytes 0, every event is the base.
	write_file(dir_ / "in2", SparseImage().fill(7, 2).dont_care(1).fill(9, 1).bytes());
	crv_progress p {30, 100, 0};
	ASSERT_EQ(expand(dir_ / "in2", dir_ / "o3", &p), 0);
	std::vector<std::pair<int, int>> base {{0, 30}, {0, 30}};
	EXPECT_EQ(g_events, base);
}

} // namespace
