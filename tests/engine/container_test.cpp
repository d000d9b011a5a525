#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture.h"
#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "imgbuilder.h"

using imgbuilder::Faults;
using imgbuilder::Image;

namespace {

struct Event {
	int code, value;
	time_t when;
};
std::vector<Event> g_events;
bool g_wait_for_next_second;

int record(int code, int value, void *)
{
	time_t now = time(nullptr);
	g_events.push_back({code, value, now});
	if (g_wait_for_next_second) {
		// Hold the check until the wall-clock second turns, so the next
		// piece falls into a later second.
		g_wait_for_next_second = false;
		while (time(nullptr) == now)
			usleep(10000);
	}
	return 0;
}

// The payload a handle stands for.
std::string read_payload(const crv_per_img_handle &h)
{
	std::string s(h.length, '\0');
	s.resize(fread(s.data(), 1, s.size(), h.stream));
	return s;
}

class Container : public ::testing::Test {
protected:
	void SetUp() override
	{
		crv_ostrel_test_reset();
		g_events.clear();
		g_wait_for_next_second = false;
		dir_ = std::filesystem::temp_directory_path() /
		       ("crv-cont-" + std::to_string(getpid()) + "-" +
			::testing::UnitTest::GetInstance()->current_test_info()->name());
		std::filesystem::create_directories(dir_);
		path_ = dir_ + "/fw.img";
	}
	void TearDown() override
	{
		if (fp_)
			fclose(fp_);
		std::filesystem::remove_all(dir_);
	}

	// Builds the container, points the engine at it and opens it.
	FILE *build(const std::vector<Image> &images, const Faults &faults = {})
	{
		imgbuilder::write_container(path_, images, faults);
		crv_ostrel_set_img_path(path_.c_str());
		if (fp_)
			fclose(fp_);
		fp_ = fopen(path_.c_str(), "rb");
		return fp_;
	}

	std::string dir_, path_;
	FILE *fp_ = nullptr;
};

// ---------------------------------------------------------------- layout

TEST_F(Container, BuilderWritesTheRecordsAtTheirOffsets)
{
	build({{.name = "boot", .target = "/dev/mmcblk0p3", .compress = "gzip", .target_offset = 0x200,
		.param = "FORMAT-ext4", .data = "payload!"}});
	std::ifstream in(path_, std::ios::binary);
	std::string raw((std::istreambuf_iterator<char>(in)), {});
	ASSERT_EQ(raw.size(), 0x120u + 0x488u + 8u);

	auto u64 = [&](std::size_t at) {
		uint64_t v = 0;
		for (int i = 7; i >= 0; i--)
			v = v << 8 | uint8_t(raw[at + i]);
		return v;
	};
	EXPECT_EQ(raw.substr(0, 4), "TIMG");
	EXPECT_EQ(u64(0x8), 0x488u + 8u);
	EXPECT_EQ(raw.substr(0x120, 4), "PIMG");
	EXPECT_EQ(u64(0x128), 8u);
	EXPECT_STREQ(raw.c_str() + 0x140, "boot");
	EXPECT_STREQ(raw.c_str() + 0x150, "/dev/mmcblk0p3");
	EXPECT_STREQ(raw.c_str() + 0x190, "gzip");
	EXPECT_EQ(raw.substr(0x1a0, 4), std::string("\x00\x02\x00\x00", 4));
	EXPECT_STREQ(raw.c_str() + 0x1a4, "FORMAT-ext4");
	EXPECT_EQ(raw.substr(0x5a8), "payload!");

	// The stored digest is the md5sum of everything behind the header.
	FILE *p = popen(("tail -c +289 " + path_ + " | md5sum").c_str(), "r");
	ASSERT_NE(p, nullptr);
	char out[64] = {};
	ASSERT_NE(fgets(out, sizeof(out), p), nullptr);
	pclose(p);
	std::string stored;
	for (int i = 0; i < 16; i++) {
		char h[3];
		snprintf(h, sizeof(h), "%02x", uint8_t(raw[0x10 + i]));
		stored += h;
	}
	EXPECT_EQ(stored, std::string(out, 32));
}

TEST_F(Container, HeaderTextAccessorsStopAtTheFieldEnd)
{
	crv_per_img_hdr h;
	memset(&h, 'A', sizeof(h)); // no terminator anywhere
	EXPECT_EQ(crv_hdr_name(h).view(), std::string(16, 'A'));
	EXPECT_EQ(crv_hdr_target(h).view(), std::string(64, 'A'));
	EXPECT_EQ(crv_hdr_compress(h).view(), std::string(16, 'A'));
	EXPECT_EQ(crv_hdr_param(h).view(), std::string(1028, 'A'));
	strcpy(h.name, "sys");
	EXPECT_STREQ(crv_hdr_name(h).c_str(), "sys");
	h.target[0] = '\0';
	EXPECT_TRUE(crv_hdr_target(h).empty());
}

// ---------------------------------------------------------- whole-image check

TEST_F(Container, HeaderOnlyContainerVerifies)
{
	crv_ostrel_set_event_cb(record, nullptr);
	FILE *f = build({});
	ASSERT_EQ(std::filesystem::file_size(path_), 0x120u);
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), 0);
	EXPECT_EQ(out.finish(), "");
	ASSERT_EQ(g_events.size(), 2u);
	EXPECT_EQ(g_events[0].code, CRV_EVT_VERIFY_PROGRESS);
	EXPECT_EQ(g_events[0].value, 0); // total 0: no division
	EXPECT_EQ(g_events[1].code, CRV_EVT_VERIFY_DONE);
	EXPECT_EQ(g_events[1].value, 100);
}

TEST_F(Container, ProgressAtMostOncePerSecondThenDone)
{
	crv_ostrel_set_event_cb(record, nullptr);
	FILE *f = build({{.name = "a", .hole = 6 << 20}, {.name = "b", .data = "xyz"}});
	g_wait_for_next_second = true;
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), 0);

	ASSERT_GE(g_events.size(), 3u);
	EXPECT_EQ(g_events.back().code, CRV_EVT_VERIFY_DONE);
	EXPECT_EQ(g_events.back().value, 100);
	int last = -1;
	for (std::size_t i = 0; i + 1 < g_events.size(); i++) {
		EXPECT_EQ(g_events[i].code, CRV_EVT_VERIFY_PROGRESS);
		EXPECT_GE(g_events[i].value, last);
		EXPECT_LE(g_events[i].value, 100);
		if (i > 0) {
			EXPECT_GT(g_events[i].when, g_events[i - 1].when);
		}
		last = g_events[i].value;
	}
	EXPECT_LT(g_events[0].value, 100); // the first came after the first piece
}

TEST_F(Container, DigestMismatchReportsTheLastPercent)
{
	crv_ostrel_set_event_cb(record, nullptr);
	FILE *f = build({{.name = "a", .data = std::string(5000, 'd')}}, {.wrong_digest = true});
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), -1);
	ASSERT_GE(g_events.size(), 2u);
	Event progress = g_events[g_events.size() - 2], end = g_events.back();
	EXPECT_EQ(progress.code, CRV_EVT_VERIFY_PROGRESS);
	EXPECT_EQ(end.code, CRV_ERR_VERIFY);
	EXPECT_EQ(end.value, progress.value);

	// One changed payload byte in a container with a good digest.
	g_events.clear();
	f = build({{.name = "a", .data = std::string(5000, 'd')}});
	fclose(fp_);
	fp_ = nullptr;
	{
		std::fstream io(path_, std::ios::in | std::ios::out | std::ios::binary);
		io.seekp(0x120 + 0x488 + 4000);
		io.put('e');
	}
	fp_ = f = fopen(path_.c_str(), "rb");
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), -1);
	EXPECT_EQ(g_events.back().code, CRV_ERR_VERIFY);
}

TEST_F(Container, DigestCoversTheWholeFileWhateverTheTotalSays)
{
	crv_ostrel_set_event_cb(record, nullptr);
	FILE *f = build({{.name = "a", .data = std::string(9000, 'q')}}, {.total = 0});
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), 0);
	EXPECT_EQ(g_events.back().code, CRV_EVT_VERIFY_DONE);
	for (const Event &e : g_events)
		EXPECT_TRUE(e.code != CRV_EVT_VERIFY_PROGRESS || e.value == 0);

	g_events.clear();
	f = build({{.name = "a", .data = std::string(9000, 'q')}}, {.total = 2047}); // below one 2 KiB unit
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), 0);
	EXPECT_EQ(g_events.back().code, CRV_EVT_VERIFY_DONE);

	// Trailing bytes after the last payload are covered too.
	crv_ostrel_set_event_cb(nullptr, nullptr);
	f = build({{.name = "a", .data = "abc"}}, {.trailing = "tail"});
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), 0);
}

TEST_F(Container, BadWholeImageHeaders)
{
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_verify_whole_image(nullptr), -9);
	EXPECT_EQ(out.take(), "crv_ostrel_verify_whole_image : bad file descriptor !\n");

	FILE *f = build({}, {.header_bytes = 0x100});
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), -5);
	EXPECT_EQ(out.take(), "crv_ostrel_verify_whole_image : read whole image header error !\n");

	f = build({{.name = "a", .data = "abc"}}, {.bad_magic = true});
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), -22);
	EXPECT_EQ(out.take(), "crv_ostrel_verify_whole_image : image header error !\n");

	// Shorter than the magic: tested as not "TIMG", not on stale memory.
	f = build({}, {.header_bytes = 2});
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), -22);
	f = build({}, {.header_bytes = 0});
	EXPECT_EQ(crv_ostrel_verify_whole_image(f), -22);
	EXPECT_EQ(out.finish(), "crv_ostrel_verify_whole_image : image header error !\n"
				"crv_ostrel_verify_whole_image : image header error !\n");

}

TEST_F(Container, UnseekableStreamGivesTheSeekError)
{
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	FILE *pipe_in = fdopen(fds[0], "rb");
	close(fds[1]);
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_verify_whole_image(pipe_in), -ESPIPE);
	EXPECT_EQ(out.finish(), "crv_ostrel_verify_whole_image : seek fail !\n");
	fclose(pipe_in);
}

// ----------------------------------------------------------- sequential walk

TEST_F(Container, WalkHandsOutEachPayloadInOrder)
{
	FILE *f = build({{.name = "stbc", .target = "spi", .data = "first payload"},
			 {.name = "empty", .target = "/dev/null"},
			 {.name = "boot", .target = "/dev/mmcblk0p3", .data = "third"}});
	ASSERT_EQ(fseeko(f, 0x120, SEEK_SET), 0);
	crv_per_img_hdr hdr;
	crv_per_img_handle h;
	testsupport::StdoutCapture out;

	ASSERT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), 0);
	EXPECT_STREQ(crv_hdr_name(hdr).c_str(), "stbc");
	EXPECT_EQ(h.length, 13u);
	EXPECT_EQ(h.offset, 0x120u + 0x488u);
	ASSERT_NE(h.stream, nullptr);
	EXPECT_EQ(ftello(h.stream), off_t(h.offset));
	char buf[13];
	ASSERT_EQ(fread(buf, 1, 13, h.stream), 13u);
	EXPECT_EQ(std::string(buf, 13), "first payload");
	fclose(h.stream);

	ASSERT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), 0);
	EXPECT_STREQ(crv_hdr_name(hdr).c_str(), "empty");
	EXPECT_EQ(h.length, 0u);
	EXPECT_EQ(h.offset, 0x120u + 2 * 0x488u + 13u);
	EXPECT_EQ(ftello(f), off_t(h.offset)); // next header right behind
	fclose(h.stream);

	ASSERT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), 0);
	EXPECT_STREQ(crv_hdr_target(hdr).c_str(), "/dev/mmcblk0p3");
	EXPECT_EQ(read_payload(h), "third");
	fclose(h.stream);

	// Clean end: silent -5 with the stream at end of file.
	EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), -5);
	EXPECT_TRUE(feof(f));
	EXPECT_EQ(h.stream, nullptr);
	EXPECT_EQ(out.finish(), "");
}

TEST_F(Container, PartialTrailingHeaderIsNoCleanEnd)
{
	FILE *f = build({{.name = "a", .data = "abc"}}, {.trailing = "PIMG garbage"});
	ASSERT_EQ(fseeko(f, 0x120, SEEK_SET), 0);
	crv_per_img_hdr hdr;
	crv_per_img_handle h;
	ASSERT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), 0);
	fclose(h.stream);
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), -5);
	EXPECT_FALSE(feof(f));
	EXPECT_EQ(out.finish(), "crv_ostrel_get_per_img : read per image header error !\n");
}

TEST_F(Container, WalkRefusesLengthsThatWrapOrOverrun)
{
	// Each length would move the walk back onto its own header (32-bit or
	// 64-bit wrap) or past the end of the file.
	for (uint64_t length : {uint64_t(0x100000000) - 0x488, ~uint64_t(0) - 0x487, uint64_t(1) << 63}) {
		FILE *f = build({{.name = "a", .data = "abc", .length = length}, {.name = "b", .data = "x"}});
		ASSERT_EQ(fseeko(f, 0x120, SEEK_SET), 0);
		crv_per_img_hdr hdr;
		crv_per_img_handle h;
		testsupport::StdoutCapture out;
		EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), -5) << length;
		EXPECT_EQ(h.stream, nullptr);
		EXPECT_FALSE(feof(f));
		EXPECT_EQ(out.finish(), "crv_ostrel_get_per_img seek to next pimg fail !\n");
	}
	// A payload cut short by the end of the file.
	FILE *f = build({{.name = "a", .data = "abcdef"}}, {.truncate = 2});
	ASSERT_EQ(fseeko(f, 0x120, SEEK_SET), 0);
	crv_per_img_hdr hdr;
	crv_per_img_handle h;
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), -5);
	EXPECT_EQ(out.finish(), "crv_ostrel_get_per_img seek to next pimg fail !\n");
}

TEST_F(Container, WalkErrorsAndTheirMessages)
{
	FILE *f = build({{.name = "a", .data = "abc"}});
	crv_per_img_hdr hdr;
	crv_per_img_handle h{};
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_get_per_img(nullptr, &hdr, &h), -9);
	EXPECT_EQ(crv_ostrel_get_per_img(f, nullptr, &h), -22);
	EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, nullptr), -22);
	EXPECT_EQ(out.take(), "crv_ostrel_get_per_img : bad file descriptor !\n"
			      "crv_ostrel_get_per_img invalid header buffer !\n"
			      "crv_ostrel_get_per_img invalid handle buffer !\n");

	ASSERT_EQ(fseeko(f, 0x120 + 1, SEEK_SET), 0); // not on a header
	EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), -22);
	EXPECT_EQ(out.take(), "crv_ostrel_get_per_img : not a vaild per image header !\n");

	crv_ostrel_set_img_path("");
	ASSERT_EQ(fseeko(f, 0x120, SEEK_SET), 0);
	EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), -22);
	EXPECT_EQ(h.stream, nullptr);
	crv_ostrel_set_img_path((dir_ + "/gone.img").c_str());
	ASSERT_EQ(fseeko(f, 0x120, SEEK_SET), 0);
	EXPECT_EQ(crv_ostrel_get_per_img(f, &hdr, &h), -22);
	EXPECT_EQ(h.stream, nullptr);
	EXPECT_EQ(out.finish(), "crv_ostrel_get_per_img allocate new file handle fail !\n"
				"crv_ostrel_get_per_img allocate new file handle fail !\n");
}

// -------------------------------------------------------------- search by name

TEST_F(Container, SearchMatchesOverTheHeaderNamesLength)
{
	FILE *f = build({{.name = "install_icon", .data = "icon"},
			 {.name = "sys", .data = "short name"},
			 {.name = "sys_run", .data = "bundle"},
			 {.name = "", .data = "nameless"},
			 {.name = "abcdefghijklmnop", .data = "sixteen"}});
	crv_per_img_hdr hdr;
	crv_per_img_handle h;
	auto find = [&](const char *name) {
		int r = crv_ostrel_get_per_img_by_name(f, name, &hdr, &h);
		if (r < 0)
			return std::string("error");
		EXPECT_EQ(r, 0x488);
		EXPECT_EQ(ftello(f), off_t(h.offset)); // image stream at the payload
		std::string payload(h.length, '\0');
		EXPECT_EQ(fread(payload.data(), 1, payload.size(), h.stream), payload.size());
		fclose(h.stream);
		return payload;
	};
	EXPECT_EQ(find("install_icon"), "icon");
	EXPECT_EQ(find("sys_run"), "short name"); // "sys" comes first and is a prefix
	EXPECT_EQ(find("sys"), "short name");
	EXPECT_EQ(find("install"), "nameless"); // shorter than "install_icon": only the empty name fits
	EXPECT_EQ(find("anything"), "nameless");
	EXPECT_EQ(find(""), "nameless");
	EXPECT_STREQ(crv_hdr_name(hdr).c_str(), "");
	EXPECT_EQ(h.offset, 0x120u + 4 * 0x488u + 4 + 10 + 6);
}

TEST_F(Container, SearchReadsUnterminatedNamesWithinTheirField)
{
	FILE *f = build({{.name = "abcdefghijklmnop", .data = "sixteen"}, {.name = "z", .data = "zz"}});
	crv_per_img_hdr hdr;
	crv_per_img_handle h;
	ASSERT_EQ(crv_ostrel_get_per_img_by_name(f, "abcdefghijklmnopq", &hdr, &h), 0x488);
	EXPECT_EQ(h.length, 7u);
	fclose(h.stream);
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(f, "abcdefghijklmnoX", &hdr, &h), -22);
	EXPECT_EQ(out.finish(), "crv_ostrel_get_per_img_by_name can't find image abcdefghijklmnoX!\n");
}

TEST_F(Container, SearchErrorsAndTheirMessages)
{
	crv_per_img_hdr hdr;
	crv_per_img_handle h{};
	testsupport::StdoutCapture out;
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(nullptr, "a", &hdr, &h), -22);
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(stdin, "a", nullptr, &h), -22);
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(stdin, "a", &hdr, nullptr), -22);
	EXPECT_EQ(out.take(), "crv_ostrel_get_per_img_by_name not a valid fd !\n"
			      "crv_ostrel_get_per_img_by_name invalid header or handle buffer !\n"
			      "crv_ostrel_get_per_img_by_name invalid header or handle buffer !\n");

	// A skip length that wraps back onto the header ends the search.
	FILE *f = build({{.name = "a", .data = "abc", .length = ~uint64_t(0) - 0x487}, {.name = "b", .data = "x"}});
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(f, "b", &hdr, &h), -5);
	EXPECT_EQ(out.take(), "crv_ostrel_get_per_img_by_name skip image seek fail !\n");

	// A length beyond what the file holds finds no payload: neither the
	// image sought nor one to skip.
	f = build({{.name = "a", .data = "abc", .length = 0xFFFFFFFF}});
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(f, "a", &hdr, &h), -5);
	EXPECT_EQ(h.stream, nullptr);
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(f, "b", &hdr, &h), -5);
	EXPECT_EQ(out.take(), "crv_ostrel_get_per_img_by_name setup phandle fail !\n"
			      "crv_ostrel_get_per_img_by_name skip image seek fail !\n");

	f = build({{.name = "a", .data = "abc"}}, {.trailing = std::string(0x488, 'x')});
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(f, "b", &hdr, &h), -22);
	EXPECT_EQ(out.take(), "crv_ostrel_get_per_img_by_name : not a vaild per image header !\n");

	f = build({{.name = "a", .data = "abc"}});
	crv_ostrel_set_img_path("");
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(f, "a", &hdr, &h), -5);
	EXPECT_EQ(h.stream, nullptr);
	EXPECT_EQ(out.take(), "crv_ostrel_get_per_img_by_name allocate new whole image handle fail !\n");

	f = build({}, {.header_bytes = 0x100});
	EXPECT_EQ(crv_ostrel_get_per_img_by_name(f, "a", &hdr, &h), -22);
	EXPECT_EQ(out.finish(), "crv_ostrel_get_per_img_by_name can't find image a!\n");
}

// ------------------------------------------------------------ large files

// Payloads far beyond 2 GiB (and 4 GiB) in a sparse container: the readers
// must carry 64-bit positions, also in the 32-bit ARM build.
TEST_F(Container, PayloadsBeyondTwoAndFourGiB)
{
	const uint64_t gib = uint64_t(1) << 30;
	FILE *f = build({{.name = "big", .hole = 2 * gib + 12345},
			 {.name = "mid", .data = "after two"},
			 {.name = "huge", .hole = 2 * gib},
			 {.name = "tail", .data = "after four"}},
			{.no_digest = true});
	ASSERT_NE(f, nullptr);
	crv_per_img_hdr hdr;
	crv_per_img_handle h;
	ASSERT_EQ(fseeko(f, 0x120, SEEK_SET), 0);
	std::vector<std::string> names;
	std::vector<uint64_t> offsets;
	std::string text;
	while (crv_ostrel_get_per_img(f, &hdr, &h) == 0) {
		names.push_back(crv_hdr_name(hdr).c_str());
		offsets.push_back(h.offset);
		if (h.length < 100)
			text += read_payload(h) + "|";
		fclose(h.stream);
	}
	EXPECT_TRUE(feof(f));
	EXPECT_EQ(names, (std::vector<std::string>{"big", "mid", "huge", "tail"}));
	EXPECT_EQ(offsets[1], 0x120 + 2 * 0x488 + 2 * gib + 12345);
	EXPECT_EQ(offsets[3], 0x120 + 4 * 0x488 + 4 * gib + 12345 + 9);
	EXPECT_EQ(text, "after two|after four|");

	ASSERT_EQ(crv_ostrel_get_per_img_by_name(f, "tail", &hdr, &h), 0x488);
	EXPECT_EQ(h.offset, offsets[3]);
	EXPECT_EQ(read_payload(h), "after four");
	fclose(h.stream);
}

} // namespace
