// The ADF device library against simulated ADF devices: node enumeration,
// the two-pass information reads, the attachment and format filters, the
// choice of a simple-post path, buffers, posts and events.
#include "adf.h"
#include "adf_model.h"
#include "ui_testutil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <list>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kBA24 = adf_fourcc('B', 'A', '2', '4');
constexpr uint32_t kRG16 = adf_fourcc('R', 'G', '1', '6');

std::vector<uint32_t> take(uint32_t *ids, ssize_t n)
{
	std::vector<uint32_t> out;
	for (ssize_t i = 0; i < n; ++i)
		out.push_back(ids[i]);
	free(ids);
	return out;
}

std::set<uint32_t> as_set(const std::vector<uint32_t> &v)
{
	return {v.begin(), v.end()};
}

class AdfLibraryTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		dir_ = uitest::scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
		adf_test_set_dev_dir(dir_.c_str());
	}
	void TearDown() override
	{
		if (dev_.fd >= 0)
			adf_close_device(&dev_);
		for (auto &m : models_)
			m.detach();
		adf_test_set_dev_dir(nullptr);
	}
	devmodels::AdfModel &Model(uint32_t id = 0)
	{
		models_.emplace_back();
		models_.back().id = id;
		return models_.back();
	}
	void Open(uint32_t id = 0)
	{
		for (auto &m : models_)
			if (m.id == id && m.dir.empty())
				m.attach(dir_);
		ASSERT_EQ(adf_open_device(id, O_RDWR, &dev_), 0);
	}
	std::string dir_;
	std::list<devmodels::AdfModel> models_; // stable: handlers keep pointers
	adf_device dev_ = {0, -1};
};

// ---- enumeration and nodes

TEST_F(AdfLibraryTest, EnumerationFindsDevicesAndEachDevicesInterfaces)
{
	auto &a = Model(0);
	a.interfaces.resize(2);
	auto &b = Model(3);
	b.interfaces.resize(3);
	a.attach(dir_);
	b.attach(dir_);
	std::ofstream(dir_ + "/adfx").put('\0');      // no id
	std::ofstream(dir_ + "/fb0").put('\0');

	uint32_t *ids = nullptr;
	ssize_t n = adf_list_devices(&ids);
	EXPECT_EQ(as_set(take(ids, n)), (std::set<uint32_t>{0, 3}));

	adf_device dev3 = {3, -1};
	n = adf_list_interfaces(&dev3, &ids);
	EXPECT_EQ(as_set(take(ids, n)), (std::set<uint32_t>{0, 1, 2}));
	adf_device dev1 = {1, -1};
	EXPECT_EQ(adf_list_interfaces(&dev1, &ids), 0);
	free(ids);

	int fd = adf_open_engine(&dev3, 0, O_RDONLY);
	EXPECT_GE(fd, 0);
	close(fd);
	EXPECT_EQ(adf_open_engine(&dev3, 1, O_RDONLY), -ENOENT);
	EXPECT_EQ(adf_open_interface(&dev3, 7, O_RDONLY), -ENOENT);
}

TEST_F(AdfLibraryTest, MissingNodesAndFoldersGiveTheSystemError)
{
	uint32_t *ids = nullptr;
	EXPECT_EQ(adf_list_devices(&ids), 0); // empty folder
	EXPECT_EQ(ids, nullptr);
	adf_device dev = {9, 5};
	EXPECT_EQ(adf_open_device(2, O_RDWR, &dev), -ENOENT);
	EXPECT_EQ(dev.id, 2u);
	EXPECT_LT(dev.fd, 0);
	adf_close_device(&dev); // nothing to close

	adf_test_set_dev_dir((dir_ + "/missing").c_str());
	EXPECT_EQ(adf_list_devices(&ids), -ENOENT);
}

// ---- information reads

TEST_F(AdfLibraryTest, InformationReadsFillEveryArray)
{
	auto &m = Model();
	m.name = "panel-display";
	m.custom_data = "xyz";
	m.interfaces[0].modes = {devmodels::adf_mode(1920, 1080), devmodels::adf_mode(1280, 720),
				 devmodels::adf_mode(720, 576, 50)};
	m.interfaces[0].current = devmodels::adf_mode(1280, 720);
	m.engines[0].formats = {kRG16, kBA24};
	m.engines.push_back({});
	m.allowed = {{0, 0}, {1, 0}};
	m.attached = {{1, 0}};
	Open();

	AdfDeviceInfo dinfo;
	ASSERT_EQ(adf_read_device_info(&dev_, &dinfo), 0);
	EXPECT_STREQ(dinfo.name, "panel-display");
	ASSERT_EQ(dinfo.n_allowed_attachments, 2u);
	EXPECT_EQ(dinfo.allowed_attachments[1].overlay_engine, 1u);
	ASSERT_EQ(dinfo.n_attachments, 1u);
	EXPECT_EQ(dinfo.attachments[0].overlay_engine, 1u);
	ASSERT_EQ(dinfo.custom_data_size, 3u);
	EXPECT_EQ(memcmp(dinfo.custom_data, "xyz", 3), 0);
	adf_release_device_info(&dinfo);
	EXPECT_EQ(dinfo.allowed_attachments, nullptr);
	EXPECT_EQ(dinfo.n_allowed_attachments, 0u);

	int fd = adf_open_interface(&dev_, 0, O_RDONLY);
	AdfInterfaceInfo iinfo;
	ASSERT_EQ(adf_read_interface_info(fd, &iinfo), 0);
	EXPECT_EQ(iinfo.current_mode.hdisplay, 1280);
	ASSERT_EQ(iinfo.n_available_modes, 3u);
	EXPECT_EQ(iinfo.available_modes[2].vrefresh, 50u);
	EXPECT_STREQ(iinfo.available_modes[2].name, "720x576");
	adf_release_interface_info(&iinfo);
	close(fd);

	fd = adf_open_engine(&dev_, 0, O_RDONLY);
	AdfEngineInfo einfo;
	ASSERT_EQ(adf_read_engine_info(fd, &einfo), 0);
	ASSERT_EQ(einfo.n_supported_formats, 2u);
	EXPECT_EQ(einfo.supported_formats[1], kBA24);
	adf_release_engine_info(&einfo);
	EXPECT_TRUE(adf_engine_supports_format(fd, kRG16));
	EXPECT_FALSE(adf_engine_supports_format(fd, adf_fourcc('X', 'R', '2', '4')));
	close(fd);
	EXPECT_FALSE(adf_engine_supports_format(fd, kBA24)); // closed: no information

	// Both passes reached the driver, the first with no arrays.
	EXPECT_EQ(m.log[0], "device info (counts)");
	EXPECT_EQ(m.log[1], "device info");
}

TEST_F(AdfLibraryTest, FailedReadsReportTheirCodesAndKeepNothing)
{
	auto &m = Model();
	Open();
	int intf = adf_open_interface(&dev_, 0, O_RDONLY);
	int eng = adf_open_engine(&dev_, 0, O_RDONLY);

	// First pass refused: the device read reports -12, the others the error.
	m.failing = {{ADF_IOC_DEVICE_INFO, EPERM}, {ADF_IOC_INTERFACE_INFO, EPERM}, {ADF_IOC_ENGINE_INFO, EIO}};
	AdfDeviceInfo dinfo;
	AdfInterfaceInfo iinfo;
	AdfEngineInfo einfo;
	EXPECT_EQ(adf_read_device_info(&dev_, &dinfo), -ENOMEM);
	EXPECT_EQ(adf_read_interface_info(intf, &iinfo), -EPERM);
	EXPECT_EQ(adf_read_engine_info(eng, &einfo), -EIO);

	// Second pass refused: its error, and the arrays are gone (the leak
	// checker of the sanitizer build sees any left behind).
	m.failing.clear();
	m.after = [&m](unsigned long request) { m.failing[request] = EFAULT; };
	EXPECT_EQ(adf_read_device_info(&dev_, &dinfo), -EFAULT);
	EXPECT_EQ(dinfo.allowed_attachments, nullptr);
	EXPECT_EQ(adf_read_interface_info(intf, &iinfo), -EFAULT);
	EXPECT_EQ(iinfo.available_modes, nullptr);
	EXPECT_EQ(adf_read_engine_info(eng, &einfo), -EFAULT);
	EXPECT_EQ(einfo.supported_formats, nullptr);
	close(intf);
	close(eng);
}

TEST_F(AdfLibraryTest, ListsThatGrowBetweenThePassesAreCutToWhatWasRead)
{
	auto &m = Model();
	Open();
	// A display plugged in between the two passes adds modes and
	// attachments; the counts must not run past the arrays.
	m.after = [&m](unsigned long request) {
		if (request == ADF_IOC_DEVICE_INFO && m.allowed.size() == 1)
			m.allowed.insert(m.allowed.end(), 20, AdfAttachment{0, 0});
		if (request == ADF_IOC_INTERFACE_INFO && m.interfaces[0].modes.size() == 2)
			m.interfaces[0].modes.resize(50, devmodels::adf_mode(8, 8));
	};
	AdfDeviceInfo dinfo;
	ASSERT_EQ(adf_read_device_info(&dev_, &dinfo), 0);
	EXPECT_EQ(dinfo.n_allowed_attachments, 1u);
	uint32_t sum = 0;
	for (uint32_t i = 0; i < dinfo.n_allowed_attachments; ++i)
		sum += dinfo.allowed_attachments[i].overlay_engine;
	EXPECT_EQ(sum, 0u);
	adf_release_device_info(&dinfo);

	int fd = adf_open_interface(&dev_, 0, O_RDONLY);
	AdfInterfaceInfo iinfo;
	ASSERT_EQ(adf_read_interface_info(fd, &iinfo), 0);
	EXPECT_EQ(iinfo.n_available_modes, 2u);
	EXPECT_EQ(iinfo.available_modes[1].hdisplay, 32);
	adf_release_interface_info(&iinfo);
	close(fd);
}

// ---- attachments, filters and the simple-post path

TEST_F(AdfLibraryTest, AttachmentsAndFiltersKeepTheMatchingIds)
{
	auto &m = Model();
	m.interfaces.resize(3);
	m.interfaces[0].flags = 0;
	m.interfaces[0].type = 2;
	m.interfaces[1].flags = ADF_INTF_FLAG_PRIMARY | 4;
	m.interfaces[2].type = 2;
	m.engines.resize(3);
	m.engines[0].formats = {kRG16};
	m.engines[2].formats = {kRG16, adf_fourcc('C', '8', ' ', ' ')};
	m.allowed = {{0, 0}, {1, 1}, {2, 1}, {2, 2}};
	Open();

	uint32_t *out = nullptr;
	ssize_t n = adf_engines_for_interface(&dev_, 1, &out);
	EXPECT_EQ(take(out, n), (std::vector<uint32_t>{1, 2}));
	n = adf_interfaces_for_engine(&dev_, 2, &out);
	EXPECT_EQ(take(out, n), (std::vector<uint32_t>{1, 2}));
	EXPECT_EQ(adf_interfaces_for_engine(&dev_, 7, &out), 0);
	EXPECT_EQ(out, nullptr);

	const uint32_t all[] = {0, 1, 2};
	n = adf_filter_interfaces_by_type(&dev_, 2, all, 3, &out);
	EXPECT_EQ(take(out, n), (std::vector<uint32_t>{0, 2}));
	n = adf_filter_interfaces_by_flag(&dev_, ADF_INTF_FLAG_PRIMARY | 8, all, 3, &out);
	EXPECT_EQ(take(out, n), (std::vector<uint32_t>{1, 2}));
	const uint32_t wanted[] = {kBA24, adf_fourcc('C', '8', ' ', ' ')};
	n = adf_filter_engines_by_format(&dev_, wanted, 2, all, 3, &out);
	EXPECT_EQ(take(out, n), (std::vector<uint32_t>{1, 2}));

	// A node that cannot be opened or read ends the filter with its error.
	const uint32_t with_missing[] = {1, 5};
	EXPECT_EQ(adf_filter_interfaces_by_flag(&dev_, 1, with_missing, 2, &out), -ENOENT);
	EXPECT_EQ(out, nullptr);
	m.failing = {{ADF_IOC_ENGINE_INFO, EIO}};
	EXPECT_EQ(adf_filter_engines_by_format(&dev_, wanted, 2, all, 3, &out), -EIO);
}

TEST_F(AdfLibraryTest, AttachAndDetachReportTheDriversAnswer)
{
	auto &m = Model();
	m.allowed = {{0, 0}};
	Open();
	EXPECT_EQ(adf_attach(&dev_, 0, 0), 0);
	EXPECT_EQ(adf_attach(&dev_, 0, 0), -EALREADY);
	EXPECT_EQ(adf_attach(&dev_, 1, 0), -EINVAL);
	EXPECT_EQ(adf_detach(&dev_, 0, 0), 0);
	EXPECT_EQ(adf_detach(&dev_, 0, 0), -EINVAL);
	EXPECT_EQ(m.log.front(), "attach engine 0 interface 0");
	EXPECT_EQ(m.log.back(), "detach engine 0 interface 0");
}

TEST_F(AdfLibraryTest, SimplePostPathNeedsAPrimaryInterfaceWithAFittingEngine)
{
	auto &m = Model();
	m.interfaces.resize(3);
	m.interfaces[0].flags = 0;          // not primary, though its engine fits
	m.engines.resize(3);
	m.engines[1].formats = {kRG16};
	m.allowed = {{0, 0}, {1, 1}, {2, 2}};
	Open();
	uint32_t intf = 99, eng = 99;
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, &kBA24, 1, &intf, &eng), 0);
	EXPECT_EQ(intf, 2u);
	EXPECT_EQ(eng, 2u);
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, &kRG16, 1, &intf, &eng), 0);
	EXPECT_EQ(intf, 1u);
	EXPECT_EQ(eng, 1u);
	const uint32_t nv12 = adf_fourcc('N', 'V', '1', '2');
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, &nv12, 1, &intf, &eng), -ENODEV);
}

TEST_F(AdfLibraryTest, SimplePostPathWithoutFormatsSearchesTheCommonRgbFormats)
{
	auto &m = Model();
	m.interfaces.resize(2);
	m.engines.resize(2);
	m.engines[0].formats = {adf_fourcc('N', 'V', '1', '2'), adf_fourcc('Y', 'U', 'Y', 'V')};
	m.engines[1].formats = {adf_fourcc('C', '8', ' ', ' ')}; // first of the list
	m.allowed = {{0, 0}, {1, 1}};
	Open();
	uint32_t intf = 99, eng = 99;
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, nullptr, 0, &intf, &eng), 0);
	EXPECT_EQ(intf, 1u);
	EXPECT_EQ(eng, 1u);

	m.engines[1].formats = {adf_fourcc('N', 'V', '2', '1')};
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, nullptr, 0, &intf, &eng), -ENODEV);
}

TEST_F(AdfLibraryTest, SimplePostPathFailures)
{
	auto &m = Model();
	m.interfaces[0].flags = 0;
	Open();
	uint32_t intf, eng;
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, nullptr, 0, &intf, &eng), -ENODEV); // no primary

	m.interfaces[0].flags = ADF_INTF_FLAG_PRIMARY;
	m.allowed.clear();
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, nullptr, 0, &intf, &eng), -ENODEV); // no engine

	m.failing = {{ADF_IOC_INTERFACE_INFO, EACCES}};
	EXPECT_EQ(adf_pick_simple_post_path(&dev_, nullptr, 0, &intf, &eng), -EACCES);

	adf_device other = {4, -1}; // no interface nodes
	EXPECT_EQ(adf_pick_simple_post_path(&other, nullptr, 0, &intf, &eng), -ENODEV);
}

// ---- buffers, posts, modes, blanking

TEST_F(AdfLibraryTest, SimpleBufferAndPostRecords)
{
	auto &m = Model();
	m.pitch_pad = 12;
	m.buffer_offset = 4096;
	Open();
	int intf = adf_open_interface(&dev_, 0, O_RDWR);
	uint32_t offset = 0, pitch = 0;
	int buf = adf_alloc_simple_buffer(intf, 40, 30, kBA24, &offset, &pitch);
	ASSERT_GE(buf, 0);
	EXPECT_EQ(offset, 4096u);
	EXPECT_EQ(pitch, 40u * 4 + 12);
	EXPECT_EQ(m.log.back(), "interface 0 alloc 40x30 BA24");

	int fence = adf_post_simple(intf, 2, 40, 30, kBA24, buf, offset, pitch, 17);
	ASSERT_GE(fence, 0);
	close(fence);
	ASSERT_EQ(m.posts.size(), 1u);
	const AdfBufferConfig b = m.posts[0].buf;
	EXPECT_EQ(b.overlay_engine, 2u);
	EXPECT_EQ(b.n_planes, 1);
	EXPECT_EQ(b.fd[0], buf);
	EXPECT_EQ(b.offset[0], 4096u);
	EXPECT_EQ(b.pitch[0], pitch);
	EXPECT_EQ(b.acquire_fence, 17);
	for (int p = 1; p < ADF_MAX_PLANES; ++p) {
		EXPECT_EQ(b.fd[p], 0);
		EXPECT_EQ(b.offset[p], 0u);
		EXPECT_EQ(b.pitch[p], 0u);
	}

	// Device-level post: every interface and buffer reaches the driver.
	const uint32_t intfs[] = {0};
	char custom[5] = "abcd";
	fence = adf_post(&dev_, intfs, 1, &b, 1, custom, 4);
	ASSERT_GE(fence, 0);
	close(fence);
	EXPECT_EQ(m.log.back(), "post 1 interfaces 1 buffers 4 bytes");
	m.fences = false;
	EXPECT_EQ(adf_post(&dev_, intfs, 1, &b, 1, nullptr, 0), -1); // no fence

	m.failing = {{ADF_IOC_SIMPLE_POST, EBUSY}, {ADF_IOC_SIMPLE_ALLOC, ENOMEM}, {ADF_IOC_POST, EINVAL}};
	EXPECT_EQ(adf_post_simple(intf, 0, 40, 30, kBA24, buf, offset, pitch, -1), -EBUSY);
	EXPECT_EQ(adf_alloc_simple_buffer(intf, 40, 30, kBA24, &offset, &pitch), -ENOMEM);
	EXPECT_EQ(adf_post(&dev_, intfs, 1, &b, 1, nullptr, 0), -EINVAL);
	close(buf);
	close(intf);
	EXPECT_EQ(devmodels::adf_open_buffer_descriptors(), 0);
}

TEST_F(AdfLibraryTest, BlankModeAndEventSwitchReachTheInterface)
{
	auto &m = Model();
	Open();
	int intf = adf_open_interface(&dev_, 0, O_RDWR);
	EXPECT_EQ(adf_blank_interface(intf, ADF_BLANK_OFF), 0);
	EXPECT_EQ(m.log.back(), "interface 0 blank 3");
	EXPECT_EQ(adf_blank_interface(intf, ADF_BLANK_ON), 0);
	EXPECT_EQ(m.log.back(), "interface 0 blank 0");
	AdfMode mode = devmodels::adf_mode(32, 24);
	EXPECT_EQ(adf_set_mode(intf, &mode), 0);
	EXPECT_EQ(m.interfaces[0].current.hdisplay, 32);
	EXPECT_EQ(adf_watch_event(intf, 1, true), 0);
	EXPECT_EQ(m.log.back(), "event 1 on");
	m.failing = {{ADF_IOC_BLANK, EIO}, {ADF_IOC_SET_MODE, EINVAL}, {ADF_IOC_EVENT_SWITCH, EINVAL}};
	EXPECT_EQ(adf_blank_interface(intf, ADF_BLANK_OFF), -EIO);
	EXPECT_EQ(adf_set_mode(intf, &mode), -EINVAL);
	EXPECT_EQ(adf_watch_event(intf, 1, false), -EINVAL);
	close(intf);
}

// ---- events

class AdfEventTest : public AdfLibraryTest {
protected:
	int EventFile(const std::vector<uint8_t> &bytes)
	{
		std::string path = dir_ + "/events";
		std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
							     std::streamsize(bytes.size()));
		return open(path.c_str(), O_RDONLY);
	}
};

TEST_F(AdfEventTest, AWholeEventIsReadWithItsHeader)
{
	int fd = EventFile({2, 0, 0, 0, 12, 0, 0, 0, 'a', 'b', 'c', 'd', 1, 0, 0, 0, 8, 0, 0, 0});
	AdfEvent *ev = nullptr;
	ASSERT_EQ(adf_fetch_event(fd, &ev), 0);
	EXPECT_EQ(ev->type, 2);
	EXPECT_EQ(ev->length, 12u);
	EXPECT_EQ(memcmp(ev + 1, "abcd", 4), 0);
	free(ev);
	ASSERT_EQ(adf_fetch_event(fd, &ev), 0); // header-only event
	EXPECT_EQ(ev->type, 1);
	free(ev);
	close(fd);
}

TEST_F(AdfEventTest, MalformedAndShortEventsAreIoErrors)
{
	AdfEvent *ev = nullptr;
	int fd = EventFile({2, 0, 0, 0, 4, 0, 0, 0}); // shorter than its header
	EXPECT_EQ(adf_fetch_event(fd, &ev), -EIO);
	close(fd);
	fd = EventFile({2, 0, 0, 0, 8, 0}); // header cut short
	EXPECT_EQ(adf_fetch_event(fd, &ev), -EIO);
	close(fd);
	fd = EventFile({2, 0, 0, 0, 16, 0, 0, 0, 'a', 'b'}); // body cut short
	EXPECT_EQ(adf_fetch_event(fd, &ev), -EIO);
	close(fd);
	fd = open(dir_.c_str(), O_RDONLY | O_DIRECTORY); // read error
	EXPECT_EQ(adf_fetch_event(fd, &ev), -EISDIR);
	close(fd);
	EXPECT_EQ(ev, nullptr);
}

} // namespace
