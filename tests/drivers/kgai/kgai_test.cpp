// GAI: records in and out of the device, the dma-buf import, the secure
// call found by name once, the result page copied back, the capture dump,
// the debug menu, and loading and unloading cleanly.
#include "khost/gtest.hpp"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "uapi/vyr_gai.h"

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
int gx_export(u64 dev_addr, unsigned int segs, size_t len);
extern int gx_pageless;
int _gai_dump_sec_capture_buf(struct file *file, u32 addr, u32 size, const char *name);
extern unsigned int g_GaiDbgMask;
}

namespace {

struct Call {
	u32 id, cmd, a, b, c;
};
std::vector<Call> calls;
int secure_result = 0;

/* Pages asked for below 4 GiB lie there: a 32-bit page address is the page's. */
void *page_of(u32 a) { return khost::phys_ptr(a); }

int secure_world(u32 id, u32 cmd, u32 a, u32 b, u32 c)
{
	calls.push_back({id, cmd, a, b, c});
	if (secure_result < 0)
		return secure_result;
	if (cmd == 0xA1C0 || cmd == 0xA1C1) {
		auto *p = static_cast<u8 *>(page_of(a));
		for (u32 i = 0; i < c; i++)
			p[i] = (u8)(i * 7 + 1);
	}
	return secure_result;
}
int other_world(u32 id, u32 cmd, u32 a, u32 b, u32 c) { return secure_world(id, cmd, a, b, c) + 0; }

bool logged(const std::string &text) { return khost::log().find(text) != std::string::npos; }
/* A message printed as it is, nothing before or after it. */
bool printed(const std::string &text)
{
	for (auto &l : khost::log_lines())
		if (l.text == text)
			return true;
	return false;
}

class Gai : public khost::KernelTest {
protected:
	struct file *f = nullptr;
	std::vector<int> fds;

	void SetUp() override
	{
		calls.clear();
		secure_result = 0;
		gx_pageless = 0;
	}
	void boot(bool tz = true, bool teec = false)
	{
		if (tz)
			khost::add_symbol("tzdev_scm_watch", (void *)secure_world);
		if (teec)
			khost::add_symbol("kteec_kobj_invoke_cmd", (void *)other_world);
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		ASSERT_EQ(khost::load_module("gai_test_exporter"), 0);
		ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
		f = khost::open("crkgai");
		ASSERT_NE(f, nullptr);
	}
	void TearDown() override
	{
		if (f)
			khost::close(f);
		for (int fd : fds)
			khost::close_fd(fd);
		EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
		EXPECT_EQ(khost::symbol_refs("tzdev_scm_watch"), 0);
		EXPECT_EQ(khost::symbol_refs("kteec_kobj_invoke_cmd"), 0);
		EXPECT_EQ(khost::unload_module("gai_test_exporter"), 0);
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}
	int buf(u64 dev_addr = 0x40000000, unsigned segs = 1, size_t len = 8192)
	{
		int fd = gx_export(dev_addr, segs, len);
		fds.push_back(fd);
		return fd;
	}
	long copy(ST_GAI_COPY_RESULT &rec) { return khost::ioctl(f, GAI_IOC_COPY_RESULT, (unsigned long)&rec); }
};

TEST_F(Gai, CopyResultHandsTheBufferToTheSecureWorldAndCopiesItsPageBack)
{
	boot();
	std::vector<u8> out(100, 0xEE);
	ST_GAI_COPY_RESULT rec{};
	rec.s32Fd = buf(0x40001000);
	rec.u64UserPtr = (u64)(uintptr_t)out.data();
	rec.u32Size = 64;
	EXPECT_EQ(copy(rec), 0);
	EXPECT_EQ(rec.u32Copied, 64u);
	ASSERT_EQ(calls.size(), 1u);
	EXPECT_EQ(calls[0].id, 0x1008u);
	EXPECT_EQ(calls[0].cmd, 0xA1C0u);
	EXPECT_EQ(calls[0].b, 0x40001000u);
	EXPECT_EQ(calls[0].c, 64u);
	for (u32 i = 0; i < 64; i++)
		ASSERT_EQ(out[i], (u8)(i * 7 + 1)) << i;
	EXPECT_EQ(out[64], 0xEE);	/* nothing past the size */

	/* The page stays with the file; the function is looked up once. */
	u32 page = calls[0].a;
	EXPECT_EQ(copy(rec), 0);
	EXPECT_EQ(calls[1].a, page);
	EXPECT_EQ(khost::symbol_refs("tzdev_scm_watch"), 1);
}

TEST_F(Gai, TheSecondSecureFunctionServesWhenTheFirstIsAbsent)
{
	boot(false, true);
	std::vector<u8> out(16);
	ST_GAI_COPY_RESULT rec{};
	rec.s32Fd = buf();
	rec.u64UserPtr = (u64)(uintptr_t)out.data();
	rec.u32Size = 16;
	EXPECT_EQ(copy(rec), 0);
	EXPECT_EQ(calls.size(), 1u);
	EXPECT_TRUE(printed("symbol tzdev_scm_watch not found !!!! \n"));
	EXPECT_EQ(khost::symbol_refs("kteec_kobj_invoke_cmd"), 1);
}

// symbol_get() takes only EXPORT_SYMBOL_GPL symbols: a secure world that
// exports its call plainly is not there for the driver.
TEST_F(Gai, APlainExportCountsAsAbsent)
{
	khost::add_symbol("tzdev_scm_watch", (void *)secure_world, false);
	boot(false, false);
	ST_GAI_DATA_PROC proc{buf(), 1, 2};
	EXPECT_EQ(khost::ioctl(f, GAI_IOC_DATA_PROC, (unsigned long)&proc), -1);
	EXPECT_TRUE(calls.empty());
	EXPECT_TRUE(logged("failing symbol_get of non-GPLONLY symbol tzdev_scm_watch.\n"));
	EXPECT_TRUE(logged("symbol kteec_kobj_invoke_cmd not found !!!! \n"));
}

TEST_F(Gai, WithoutASecureWorldOrWithItsFailureNothingIsCopied)
{
	boot(false, false);
	std::vector<u8> out(16, 0xEE);
	ST_GAI_COPY_RESULT rec{};
	rec.s32Fd = buf();
	rec.u64UserPtr = (u64)(uintptr_t)out.data();
	rec.u32Size = 16;
	rec.u32Copied = 99;
	EXPECT_EQ(copy(rec), -1);
	EXPECT_EQ(rec.u32Copied, 0u);
	EXPECT_TRUE(logged("symbol kteec_kobj_invoke_cmd not found !!!! \n"));
	ST_GAI_DATA_PROC proc{buf(), 2, 3};
	EXPECT_EQ(khost::ioctl(f, GAI_IOC_DATA_PROC, (unsigned long)&proc), -1);

	khost::add_symbol("tzdev_scm_watch", (void *)secure_world);
	secure_result = -5;
	EXPECT_EQ(copy(rec), -5);
	EXPECT_EQ(rec.u32Copied, 0u);
	EXPECT_EQ(out[0], 0xEE);
	EXPECT_TRUE(logged("tzdev_scm_watch(0x1008, 0xA1C0, "));
	EXPECT_TRUE(logged("_gai_copy_result tzdev_scm_watch fail !!!!\n"));
}

TEST_F(Gai, BuffersTheSecureWorldCannotReachAreRefusedBeforeTheCall)
{
	boot();
	std::vector<u8> out(8192);
	ST_GAI_COPY_RESULT rec{};
	rec.u64UserPtr = (u64)(uintptr_t)out.data();
	rec.u32Size = 64;
	rec.s32Fd = buf(0x40000000, 2);
	EXPECT_EQ(copy(rec), -22);
	rec.s32Fd = buf(0x140000000ull);
	EXPECT_EQ(copy(rec), -22);
	rec.s32Fd = 999;
	EXPECT_EQ(copy(rec), -22);
	EXPECT_TRUE(logged("_gai_attach_buf() dma_buf_get(999) error !!!!!! \n"));
	rec.s32Fd = buf(0x40000000, 1, 4096);
	rec.u32Size = 4097;	/* more than the page and the buffer */
	EXPECT_EQ(copy(rec), -22);
	rec.s32Fd = buf(0x40000000, 1, 1024);
	rec.u32Size = 2048;
	EXPECT_EQ(copy(rec), -22);
	EXPECT_TRUE(calls.empty());
	EXPECT_EQ(rec.u32Copied, 0u);
}

TEST_F(Gai, ConversionPassesTheBufferAndBothWords)
{
	boot();
	ST_GAI_DATA_PROC proc{buf(0x50000000), 0x12, 0x34};
	EXPECT_EQ(khost::ioctl(f, GAI_IOC_DATA_PROC, (unsigned long)&proc), 0);
	ASSERT_EQ(calls.size(), 1u);
	EXPECT_EQ(calls[0].cmd, 0xA1D0u);
	EXPECT_EQ(calls[0].a, 0x50000000u);
	EXPECT_EQ(calls[0].b, 0x34u | (0x12u << 16));
	EXPECT_EQ(calls[0].c, 0x12u);
	secure_result = -3;
	EXPECT_EQ(khost::ioctl(f, GAI_IOC_DATA_PROC, (unsigned long)&proc), -3);
	EXPECT_TRUE(logged("tzdev_scm_watch fail !!!!\n"));
}

/* No-map memory (an OSD plane's dma-buf) has no pages and no cache lines of the kernel's. */
TEST_F(Gai, BuffersWithoutPagesReachTheSecureWorldWithoutCacheMaintenance)
{
	boot();
	gx_pageless = 1;
	std::vector<u8> out(16);
	ST_GAI_COPY_RESULT rec{};
	rec.s32Fd = buf(0x40002000);
	rec.u64UserPtr = (u64)(uintptr_t)out.data();
	rec.u32Size = 16;
	EXPECT_EQ(copy(rec), 0);
	EXPECT_EQ(rec.u32Copied, 16u);
	ST_GAI_DATA_PROC proc{rec.s32Fd, 1, 2};
	EXPECT_EQ(khost::ioctl(f, GAI_IOC_DATA_PROC, (unsigned long)&proc), 0);
	EXPECT_EQ(calls.size(), 2u);
}

TEST_F(Gai, RecordsAreCopiedAsTheCommandSaysAndNoFurther)
{
	boot();
	ST_GAI_DATA_PROC unknown{};
	EXPECT_EQ(khost::ioctl(f, _IOWR('g', 3, ST_GAI_DATA_PROC), (unsigned long)&unknown), -524);
	EXPECT_TRUE(logged("unknow cmd in _gai_ioctl_common() arguments, nr = 3, size = 12\n"));

	/* A size field beyond the record copies only the record, both ways. */
	std::vector<u8> out(16);
	std::vector<char> big(600, 0);
	ST_GAI_COPY_RESULT rec{};
	rec.s32Fd = buf();
	rec.u64UserPtr = (u64)(uintptr_t)out.data();
	rec.u32Size = 16;
	memcpy(big.data(), &rec, sizeof(rec));
	khost::poison_user(big.data() + sizeof(rec), big.size() - sizeof(rec));
	EXPECT_EQ(khost::ioctl(f, _IOC(_IOC_READ | _IOC_WRITE, 'g', 1, 500), (unsigned long)big.data()), 0);
	memcpy(&rec, big.data(), sizeof(rec));
	EXPECT_EQ(rec.u32Copied, 16u);

	/* A short record: the rest reads as zero, so size 0 and no pointer. */
	EXPECT_EQ(khost::ioctl(f, _IOC(_IOC_READ | _IOC_WRITE, 'g', 1, 4), (unsigned long)big.data()), 0);
	EXPECT_EQ(calls.back().c, 0u);

	/* Copy in only (bit 31): nothing comes back. */
	rec.u32Copied = 77;
	EXPECT_EQ(khost::ioctl(f, 0x80000000u | (24u << 16) | ('g' << 8) | 1, (unsigned long)&rec), 0);
	EXPECT_EQ(rec.u32Copied, 77u);

	khost::fail_user_copy_after(0);
	EXPECT_EQ(copy(rec), -14);
	khost::fail_user_copy_after(-1);

	/* The caller's destination faults: -14 and nothing reported copied. */
	khost::poison_user(out.data(), out.size());
	EXPECT_EQ(copy(rec), -14);
	EXPECT_EQ(rec.u32Copied, 0u);
	EXPECT_TRUE(logged("  fail !!!!\n"));
}

TEST_F(Gai, ThirtyTwoBitCallersPointersAreTakenAs32Bits)
{
	boot();
	auto *out = static_cast<u8 *>(khost::compat_alloc(32));
	auto *rec = static_cast<ST_GAI_COPY_RESULT *>(khost::compat_alloc(sizeof(ST_GAI_COPY_RESULT)));
	memset(rec, 0, sizeof(*rec));
	rec->s32Fd = buf();
	rec->u64UserPtr = 0xDEAD00000000ull | (u32)(uintptr_t)out;
	rec->u32Size = 32;
	EXPECT_EQ(khost::compat_ioctl(f, GAI_IOC_COPY_RESULT, (unsigned long)rec), 0);
	EXPECT_EQ(rec->u32Copied, 32u);
	EXPECT_EQ(out[1], 8);
}

TEST_F(Gai, CaptureDumpGoesToTheFirstUsbMountThenToTheFixedFolders)
{
	boot();
	std::string root = khost::file_root();
	mkdir((root + "/etc").c_str(), 0755);
	mkdir((root + "/mnt").c_str(), 0755);
	mkdir((root + "/mnt/usb").c_str(), 0755);
	std::ofstream(root + "/etc/mtab") << "proc /proc proc rw 0 0\n/dev/sda1 /mnt/usb vfat rw 0 0\n";
	EXPECT_EQ(_gai_dump_sec_capture_buf(f, 0x30000000, 5000, "cap.bin"), 5000);
	ASSERT_EQ(calls.size(), 1u);
	EXPECT_EQ(calls[0].cmd, 0xA1C1u);
	EXPECT_EQ(calls[0].b, 0x30000000u);
	std::ifstream in(root + "/mnt/usb/cap.bin", std::ios::binary);
	std::stringstream ss;
	ss << in.rdbuf();
	std::string data = ss.str();
	ASSERT_EQ(data.size(), 5000u);
	EXPECT_EQ((u8)data[4999], (u8)(4999 * 7 + 1));
	EXPECT_TRUE(logged("_gai_dump_sec_capture_buf() to Path 0, File : /mnt/usb/cap.bin\n"));

	secure_result = -2;
	EXPECT_EQ(_gai_dump_sec_capture_buf(f, 0x30000000, 100, "cap.bin"), -2);
	EXPECT_TRUE(logged("Copy Capture fail !!!!\n"));
}

TEST_F(Gai, CaptureDumpRefusesSizesBeyondTheAllocatorAndLinksPlantedInTmp)
{
	boot();
	std::string root = khost::file_root();
	EXPECT_EQ(_gai_dump_sec_capture_buf(f, 0x30000000, 0xFFFFFFFF, "cap.bin"), -1);
	EXPECT_TRUE(calls.empty());
	mkdir((root + "/etc").c_str(), 0755);
	mkdir((root + "/tmp").c_str(), 01777);
	std::ofstream(root + "/etc/mtab") << "/dev/sdb1 /tmp vfat rw 0 0\n";
	std::ofstream(root + "/victim") << "keep";
	ASSERT_EQ(symlink((root + "/victim").c_str(), (root + "/tmp/cap.bin").c_str()), 0);
	EXPECT_EQ(_gai_dump_sec_capture_buf(f, 0x30000000, 100, "cap.bin"), 0);
	std::ifstream in(root + "/victim");
	std::string kept;
	in >> kept;
	EXPECT_EQ(kept, "keep");
}

TEST_F(Gai, UnbindWithTheDeviceOpenLeavesTheFileHarmlessAndRebindServesAgain)
{
	boot();
	ASSERT_EQ(khost::unbind_device("crkgai"), 0);
	EXPECT_EQ(khost::open("crkgai"), nullptr);
	ST_GAI_COPY_RESULT rec = {};
	rec.s32Fd = buf();
	rec.u32Size = 16;
	std::vector<u8> out(16);
	rec.u64UserPtr = (u64)(uintptr_t)out.data();
	EXPECT_EQ(copy(rec), -ENODEV);
	EXPECT_TRUE(calls.empty());
	ASSERT_EQ(khost::bind_device("crkgai"), 0);
	khost::close(f);
	f = khost::open("crkgai");
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(copy(rec), 0);
	EXPECT_EQ(rec.u32Copied, 16u);
}

TEST_F(Gai, TheOwnDeviceAndAMachineNodeOfTheCompatibleGetOneMiscDevice)
{
	auto *n = khost::dt_node(nullptr, "gai");
	khost::dt_prop_str(n, "compatible", "corvel,crkgai");
	khost::dt_populate();
	boot();
	EXPECT_FALSE(logged("Misc device registration failed"));
}

TEST_F(Gai, MenuTogglesTheMaskAndUnloadLeavesNothing)
{
	boot();
	ASSERT_EQ(khost::debugfs_write("crv_platform/menu", "Ker_GAI\n1\n3\n"), 0);
	crv_dbg_wait_idle();
	EXPECT_EQ(g_GaiDbgMask, 9u);
	EXPECT_TRUE(logged("3)EN_GAI_DBG_GROUP_TRACEFLOW\n"));
	EXPECT_TRUE(logged("g_GaiDbgMask = 9\n"));
	g_GaiDbgMask = 1;
	/* A second opener has its own page. */
	auto *g = khost::open("crkgai");
	ASSERT_NE(g, nullptr);
	khost::close(g);
}

} // namespace
