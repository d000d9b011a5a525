// The image-callback registry and the update thread's walk, events and
// messages, on containers made by the image builder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "capture.h"
#include "crv_system.h"
#include "crv_update.h"
#include "imgbuilder.h"

namespace {

using Events = std::vector<std::pair<int, int>>;

int dummy_cb(const crv_per_img_hdr *, crv_per_img_handle *, void *)
{
	return 0;
}
int other_cb(const crv_per_img_hdr *, crv_per_img_handle *, void *)
{
	return 0;
}

} // namespace

// ---- registry ----------------------------------------------------------------

class Registry : public ::testing::Test {
protected:
	void SetUp() override { crv_ostrel_test_reset(); }
};

TEST_F(Registry, ThirtyNamesFitAndTheThirtyFirstIsRefused)
{
	int tag[31];
	for (int i = 0; i < 30; ++i)
		ASSERT_EQ(crv_ostrel_register_img_cb(("img" + std::to_string(i)).c_str(), dummy_cb, &tag[i]), 0);
	EXPECT_EQ(crv_ostrel_register_img_cb("img30", dummy_cb, &tag[30]), -22);
	EXPECT_EQ(crv_ostrel_find_img_cb("img30"), nullptr);

	// A bound name is rebound in place even with the registry full.
	crv_img_cb_entry *e = crv_ostrel_find_img_cb("img7");
	ASSERT_NE(e, nullptr);
	EXPECT_EQ(crv_ostrel_register_img_cb("img7", other_cb, &tag[30]), 0);
	EXPECT_EQ(crv_ostrel_find_img_cb("img7"), e);
	EXPECT_EQ(e->cb, &other_cb);
	EXPECT_EQ(e->user, &tag[30]);
}

TEST_F(Registry, RebindAfterAnEarlierUnregisterLeavesNoSecondEntry)
{
	int a, b;
	ASSERT_EQ(crv_ostrel_register_img_cb("first", dummy_cb, &a), 0);
	ASSERT_EQ(crv_ostrel_register_img_cb("second", dummy_cb, &b), 0);
	ASSERT_EQ(crv_ostrel_unregister_img_cb("first"), 0);
	// "second" must keep its entry, not take the slot "first" left.
	ASSERT_EQ(crv_ostrel_register_img_cb("second", other_cb, &a), 0);
	EXPECT_EQ(crv_ostrel_find_img_cb("second")->cb, &other_cb);
	ASSERT_EQ(crv_ostrel_unregister_img_cb("second"), 0);
	EXPECT_EQ(crv_ostrel_find_img_cb("second"), nullptr);
	EXPECT_NE(crv_ostrel_unregister_img_cb("second"), 0);
}

TEST_F(Registry, NamesCompareOverSixteenCharacters)
{
	ASSERT_EQ(crv_ostrel_register_img_cb("abcdefghijklmnopXYZ", dummy_cb, nullptr), 0);
	crv_img_cb_entry *e = crv_ostrel_find_img_cb("abcdefghijklmnop");
	ASSERT_NE(e, nullptr);
	EXPECT_EQ(std::string(e->name, 16), "abcdefghijklmnop");
	EXPECT_EQ(crv_ostrel_find_img_cb("abcdefghijklmnopQQ"), e);
	EXPECT_EQ(crv_ostrel_find_img_cb("abcdefghijklmno"), nullptr);
	// Registering the longer form again rebinds the same entry.
	ASSERT_EQ(crv_ostrel_register_img_cb("abcdefghijklmnop", other_cb, nullptr), 0);
	EXPECT_EQ(e->cb, &other_cb);
	EXPECT_EQ(crv_ostrel_unregister_img_cb("abcdefghijklmnop-anything"), 0);
	EXPECT_EQ(crv_ostrel_find_img_cb("abcdefghijklmnop"), nullptr);
}

TEST_F(Registry, DefaultCatchesUnboundNamesAndFreeEntriesNeverMatch)
{
	int d;
	EXPECT_EQ(crv_ostrel_find_img_cb(""), nullptr);
	EXPECT_EQ(crv_ostrel_register_img_cb("", dummy_cb, nullptr), -22);
	EXPECT_EQ(crv_ostrel_register_img_cb("x", nullptr, nullptr), -22);
	ASSERT_EQ(crv_ostrel_register_img_cb("rootfs", dummy_cb, nullptr), 0);
	ASSERT_EQ(crv_ostrel_set_default_img_cb(other_cb, &d), 0);
	crv_img_cb_entry *def = crv_ostrel_find_img_cb("kernel");
	ASSERT_NE(def, nullptr);
	EXPECT_EQ(def->cb, &other_cb);
	EXPECT_EQ(def->user, &d);
	EXPECT_EQ(def->name[0], '\0');
	EXPECT_EQ(crv_ostrel_find_img_cb(""), def);
	EXPECT_EQ(crv_ostrel_find_img_cb("rootfs")->cb, &dummy_cb);
}

// ---- update thread -------------------------------------------------------------

namespace {

struct Written {
	std::string name;
	std::string payload;
};

// What the test's writers saw, and the events.
struct Recorder {
	Events events;
	std::vector<Written> written;
	std::vector<std::string> formatted;
	std::string fail_name; // the writer fails for this image
	int set_last_percent = -1; // the writer reports this while copying
	int sec_info_calls = 0;
	int sec_info_result = 0;
	std::mutex lock;
	std::condition_variable cv;
};

Recorder *g_rec;

int record_event(int code, int value, void *user)
{
	auto *rec = static_cast<Recorder *>(user);
	std::lock_guard<std::mutex> g(rec->lock);
	rec->events.emplace_back(code, value);
	rec->cv.notify_all();
	return 0;
}

int recording_writer(const crv_per_img_hdr *hdr, crv_per_img_handle *handle, void *user)
{
	auto *rec = static_cast<Recorder *>(user);
	Written w;
	w.name = crv_hdr_name(*hdr).c_str();
	w.payload.resize(handle->length);
	if (handle->length != 0 && fread(w.payload.data(), 1, handle->length, handle->stream) != handle->length)
		return -5;
	rec->written.push_back(w);
	if (rec->set_last_percent >= 0)
		crv_ostrel_get_progress()->last_percent = rec->set_last_percent;
	return w.name == rec->fail_name ? -5 : 0;
}

int recording_format(const crv_per_img_hdr *hdr, void *user)
{
	auto *rec = static_cast<Recorder *>(user);
	rec->formatted.push_back(crv_hdr_name(*hdr).c_str());
	return rec->formatted.back() == rec->fail_name ? -1 : 0;
}

int sec_info(void *user)
{
	auto *rec = static_cast<Recorder *>(user);
	rec->sec_info_calls++;
	return rec->sec_info_result;
}

} // namespace

class UpdateThread : public ::testing::Test {
protected:
	void SetUp() override
	{
		crv_ostrel_test_reset();
		char tmpl[] = "/tmp/crv-upd-XXXXXX";
		dir_ = mkdtemp(tmpl);
		image_ = dir_ + "/fw.img";
		tmp_ = dir_ + "/fwup";
		g_rec = &rec_;
		// The root file system is always in /proc/mounts.
		crv_ostrel_set_mount_point("/");
		crv_ostrel_set_tmp_folder(tmp_.c_str());
		crv_ostrel_set_event_cb(record_event, &rec_);
	}
	void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

	void bind(std::initializer_list<const char *> names)
	{
		for (const char *n : names)
			ASSERT_EQ(crv_ostrel_register_img_cb(n, recording_writer, &rec_), 0);
	}
	// Runs the thread body on this thread; returns what it printed.
	std::string run(const std::string &path)
	{
		testsupport::StdoutCapture cap;
		EXPECT_EQ(crv_ostrel_update_thread(strdup(path.c_str())), nullptr);
		return cap.finish();
	}
	std::string run() { return run(image_); }
	std::vector<std::string> written_names() const
	{
		std::vector<std::string> n;
		for (const auto &w : rec_.written)
			n.push_back(w.name);
		return n;
	}

	static imgbuilder::Image img(const std::string &name, const std::string &data, const std::string &param = "")
	{
		imgbuilder::Image i;
		i.name = name;
		i.target = "/dev/" + name;
		i.data = data;
		i.param = param;
		return i;
	}

	Recorder rec_;
	std::string dir_, image_, tmp_;
};

TEST_F(UpdateThread, CleanContainerWritesEveryImageInOrderAndReportsDone)
{
	bind({"kernel", "rootfs", "vendor"});
	const std::string k(1000, 'k'), r(3000, 'r'), v(500, 'v');
	imgbuilder::write_container(image_, {img("kernel", k), img("rootfs", r), img("vendor", v)});
	// Scratch files are cleared like "rm -f folder/*": dot files and folders stay.
	std::ofstream(tmp_ + "/kernel.div") << "x";
	std::ofstream(tmp_ + "/.keep") << "x";
	mkdir((tmp_ + "/sub").c_str(), 0755);

	std::string out = run();
	EXPECT_EQ(out, "updating kernel to /dev/kernel ...\n"
		       "updating rootfs to /dev/rootfs ...\n"
		       "updating vendor to /dev/vendor ...\n");
	ASSERT_EQ(rec_.written.size(), 3u);
	EXPECT_EQ(rec_.written[0].payload, k);
	EXPECT_EQ(rec_.written[1].payload, r);
	EXPECT_EQ(rec_.written[2].payload, v);

	const uint64_t total = 3 * 0x488 + 4500;
	const int p1 = int((0x488 + 1000) * 100 / total), p2 = int((2 * 0x488 + 4000) * 100 / total);
	EXPECT_EQ(rec_.events, (Events{{0, p1}, {0, p2}, {0, 100}, {0, 100}, {1, 100}}));
	EXPECT_EQ(crv_ostrel_get_progress()->bytes_done, total);
	EXPECT_EQ(crv_ostrel_get_progress()->total, total);
	EXPECT_EQ(crv_ostrel_context().event_cb, nullptr);

	EXPECT_NE(access((tmp_ + "/kernel.div").c_str(), F_OK), 0);
	EXPECT_EQ(access((tmp_ + "/.keep").c_str(), F_OK), 0);
	EXPECT_EQ(access((tmp_ + "/sub").c_str(), F_OK), 0);
}

TEST_F(UpdateThread, ProgressFollowsAnImageOnlyPastTheWritersLastPercent)
{
	bind({"a", "b"});
	rec_.set_last_percent = 80;
	imgbuilder::write_container(image_, {img("a", std::string(100, 'a')), img("b", std::string(100, 'b'))});
	run();
	// After "a" the overall percent (50) is below 80; after "b" it is 100.
	EXPECT_EQ(rec_.events, (Events{{0, 100}, {0, 100}, {1, 100}}));
}

TEST_F(UpdateThread, FormatImagesGoToTheFilterOnly)
{
	bind({"apdat", "kernel"});
	crv_ostrel_set_format_cb(recording_format, &rec_);
	imgbuilder::write_container(image_, {img("apdat", std::string(64, 'x'), "FORMAT-EXT4"), img("kernel", "kk")});
	run();
	EXPECT_EQ(rec_.formatted, std::vector<std::string>{"apdat"});
	EXPECT_EQ(written_names(), std::vector<std::string>{"kernel"});
	// One progress event for "kernel" only, then the end of the walk.
	EXPECT_EQ(rec_.events, (Events{{0, 100}, {0, 100}, {1, 100}}));
	EXPECT_EQ(crv_ostrel_get_progress()->bytes_done, 2u * 0x488 + 66);
}

TEST_F(UpdateThread, AFormatThatDidNotHappenFailsItsImage)
{
	bind({"kernel"});
	rec_.fail_name = "apdat";
	crv_ostrel_set_format_cb(recording_format, &rec_);
	imgbuilder::write_container(image_, {img("apdat", "", "FORMAT-EXT4"), img("kernel", "kk")});
	run();
	EXPECT_TRUE(rec_.written.empty());
	EXPECT_EQ(rec_.events, (Events{{0x407, 0}}));
}

TEST_F(UpdateThread, FormatImageWithoutFilterIsSkipped)
{
	bind({"apdat"});
	imgbuilder::write_container(image_, {img("apdat", "", "x FORMAT-VFAT")});
	run();
	EXPECT_TRUE(rec_.written.empty());
	EXPECT_EQ(rec_.events, (Events{{0, 100}, {1, 100}}));
}

TEST_F(UpdateThread, UnboundNameStopsTheWalkWithoutDefault)
{
	bind({"a", "c"});
	imgbuilder::write_container(image_, {img("a", "aaaa"), img("b", "bbbb"), img("c", "cccc")});
	std::string out = run();
	EXPECT_NE(out.find("crv_ostrel_write_img_to_partition unknown image name : b\n"), std::string::npos) << out;
	EXPECT_EQ(written_names(), std::vector<std::string>{"a"});
	const uint64_t total = 3 * 0x488 + 12;
	const int p1 = int((0x488 + 4) * 100 / total);
	EXPECT_EQ(rec_.events, (Events{{0, p1}, {0x407, p1}}));
	EXPECT_EQ(crv_ostrel_context().event_cb, &record_event); // stays installed
}

TEST_F(UpdateThread, DefaultWriterTakesUnboundNames)
{
	bind({"a"});
	crv_ostrel_set_default_img_cb(recording_writer, &rec_);
	imgbuilder::write_container(image_, {img("a", "1"), img("zz", "2")});
	run();
	EXPECT_EQ(written_names(), (std::vector<std::string>{"a", "zz"}));
	EXPECT_EQ(rec_.events.back(), std::make_pair(1, 100));
}

TEST_F(UpdateThread, FailingWriterStopsTheWalkAndVertblHasItsOwnCode)
{
	bind({"a", "vertbl", "c"});
	rec_.fail_name = "vertbl";
	imgbuilder::write_container(image_, {img("a", "1"), img("vertbl", "2"), img("c", "3")});
	std::string out = run();
	EXPECT_NE(out.find("crv_ostrel_update_thread: update vtbl fail\n"), std::string::npos) << out;
	EXPECT_EQ(written_names(), (std::vector<std::string>{"a", "vertbl"}));
	EXPECT_EQ(rec_.events.back().first, 0x408);
	EXPECT_EQ(rec_.events.back().second, int((0x488 + 1) * 100 / (3 * 0x488 + 3)));
}

TEST_F(UpdateThread, OtherFailingWriterReports0x407)
{
	bind({"a", "b"});
	rec_.fail_name = "a";
	imgbuilder::write_container(image_, {img("a", "1"), img("b", "2")});
	std::string out = run();
	EXPECT_EQ(out.find("vtbl"), std::string::npos);
	EXPECT_EQ(written_names(), std::vector<std::string>{"a"});
	EXPECT_EQ(rec_.events, (Events{{0x407, 0}}));
}

TEST_F(UpdateThread, TrailingBytesThatAreNoHeaderEndWith100Then0x407)
{
	bind({"a"});
	imgbuilder::Faults f;
	f.trailing = std::string(100, 't');
	imgbuilder::write_container(image_, {img("a", "1")}, f);
	run();
	EXPECT_EQ(written_names(), std::vector<std::string>{"a"});
	ASSERT_GE(rec_.events.size(), 2u);
	EXPECT_EQ(rec_.events[rec_.events.size() - 2], std::make_pair(0, 100));
	EXPECT_EQ(rec_.events.back().first, 0x407);
	EXPECT_TRUE(std::none_of(rec_.events.begin(), rec_.events.end(), [](auto e) { return e.first == 1; }));
}

TEST_F(UpdateThread, ZeroTotalDoesNotDivideByZero)
{
	bind({"a"});
	imgbuilder::Faults f;
	f.total = 0;
	imgbuilder::write_container(image_, {img("a", "1")}, f);
	run();
	EXPECT_EQ(rec_.events, (Events{{0, 100}, {1, 100}}));
}

TEST_F(UpdateThread, SecInfoFailureReports0x40c)
{
	bind({"a"});
	rec_.sec_info_result = 1;
	crv_ostrel_set_sec_info_cb(sec_info, &rec_);
	imgbuilder::write_container(image_, {img("a", "1")});
	std::string out = run();
	EXPECT_EQ(rec_.sec_info_calls, 1);
	EXPECT_NE(out.find("sec info update fail !\n"), std::string::npos);
	EXPECT_EQ(rec_.events, (Events{{0, 100}, {0x40c, 100}}));
}

TEST_F(UpdateThread, SecInfoSuccessLetsTheUpdateFinish)
{
	bind({"a"});
	crv_ostrel_set_sec_info_cb(sec_info, &rec_);
	imgbuilder::write_container(image_, {img("a", "1")});
	run();
	EXPECT_EQ(rec_.sec_info_calls, 1);
	EXPECT_EQ(rec_.events.back(), std::make_pair(1, 100));
}

TEST_F(UpdateThread, MissingImageReports0x401WithZero)
{
	std::string out = run(dir_ + "/none.img");
	EXPECT_EQ(out, "open update image " + dir_ + "/none.img error !\n");
	EXPECT_EQ(rec_.events, (Events{{0x401, 0}}));
}

TEST_F(UpdateThread, OverlongImagePathIsRefusedNotCut)
{
	// A path the context cannot hold whole would open another file.
	std::string longpath = dir_ + "/" + std::string(300, 'p');
	run(longpath);
	EXPECT_EQ(rec_.events, (Events{{0x401, 0}}));
}

TEST_F(UpdateThread, BadWholeImageHeaderReports0x404)
{
	imgbuilder::Faults f;
	f.bad_magic = true;
	imgbuilder::write_container(image_, {img("a", "1")}, f);
	std::string out = run();
	EXPECT_EQ(out, "crv_ostrel_read_whole_img_hdr invalid header sign !\nread while image header fail !\n");
	EXPECT_EQ(rec_.events, (Events{{0x404, 0}}));
}

TEST_F(UpdateThread, ShortWholeImageHeaderReports0x404)
{
	imgbuilder::Faults f;
	f.header_bytes = 100;
	imgbuilder::write_container(image_, {}, f);
	std::string out = run();
	EXPECT_EQ(out, "crv_ostrel_read_whole_img_hdr read header fail !\nread while image header fail !\n");
	EXPECT_EQ(rec_.events, (Events{{0x404, 0}}));
}

TEST_F(UpdateThread, NoMountPointReports0x409)
{
	crv_ostrel_context().mount_point[0] = '\0';
	imgbuilder::write_container(image_, {img("a", "1")});
	std::string out = run();
	EXPECT_EQ(out, "fatal error ! parse mount path fail !\n");
	EXPECT_EQ(rec_.events, (Events{{0x409, 0}}));
}

TEST_F(UpdateThread, BypassWriterLeavesThePayloadUnread)
{
	ASSERT_EQ(crv_ostrel_register_img_cb("install_icon", crv_ostrel_bypass_update_cb, nullptr), 0);
	bind({"after"});
	imgbuilder::write_container(image_, {img("install_icon", std::string(5000, 'i')), img("after", "AF")});
	std::string out = run();
	EXPECT_NE(out.find("Bypass install_icon updating\n"), std::string::npos);
	ASSERT_EQ(rec_.written.size(), 1u);
	EXPECT_EQ(rec_.written[0].payload, "AF");
	EXPECT_EQ(rec_.events.back(), std::make_pair(1, 100));
}

TEST_F(UpdateThread, StartedThreadRunsDetachedAndReportsThroughTheCallback)
{
	bind({"a"});
	crv_ostrel_set_misc_device((dir_ + "/misc").c_str());
	imgbuilder::write_container(image_, {img("a", "payload")});
	ASSERT_EQ(crv_ostrel_start_update_thread(image_.c_str()), 0);
	std::unique_lock<std::mutex> l(rec_.lock);
	ASSERT_TRUE(rec_.cv.wait_for(l, std::chrono::seconds(20), [&] {
		return !rec_.events.empty() && rec_.events.back().first == 1;
	}));
	EXPECT_EQ(rec_.written.size(), 1u);
	// The settings given before the start are kept.
	EXPECT_EQ(std::string(crv_ostrel_get_tmp_folder()), tmp_);
	EXPECT_EQ(std::string(crv_ostrel_context().misc_dev), dir_ + "/misc");
}

TEST_F(UpdateThread, TruncatedPayloadIsNeverHandedToAWriter)
{
	bind({"a", "b"});
	imgbuilder::Faults f;
	f.truncate = 10; // the last payload ends 10 bytes short
	imgbuilder::write_container(image_, {img("a", "1"), img("b", std::string(100, 'b'))}, f);
	run();
	EXPECT_EQ(written_names(), std::vector<std::string>{"a"});
	ASSERT_GE(rec_.events.size(), 2u);
	EXPECT_EQ(rec_.events[rec_.events.size() - 2], std::make_pair(0, 100));
	EXPECT_EQ(rec_.events.back().first, 0x407);
}
