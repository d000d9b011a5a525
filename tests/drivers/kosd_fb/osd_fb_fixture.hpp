// The OSD module loaded over the host kernel: its register window and
// buffer memory, the plane framebuffers as user space opens them.
#pragma once

#include "khost/gtest.hpp"
#include "khost/hw/osd.hpp"

#include <string>
#include <vector>

#include <linux/fb.h>

constexpr uint32_t R(uint32_t off) { return 0xfc0d0000u + off; }
constexpr uint64_t kMem = 0x40000000;
constexpr size_t kMemSize = 0x3000000;

class OsdFbFixture : public khost::KernelTest {
protected:
	void SetUp() override
	{
		khost::set_time_scale(1000);
		khost::add_regs(R(0), 0x10000);
		// Updates wait for the next vsync, palette loads end at once.
		khost::hw::osd::install();
		khost::add_regs(kMem, kMemSize);
		// The plane buffers are reserved no-map RAM, as on the set.
		khost::add_nomap_ram(kMem, kMemSize);
	}

	void TearDown() override
	{
		for (auto *f : files)
			khost::close(f);
		if (loaded) {
			EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
		}
		if (platform) {
			EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		}
		khost::KernelTest::TearDown();
	}

	// The platform with an "osd" memory region (none when null), no vsync.
	void load_platform(const char *regions)
	{
		if (regions) {
			ASSERT_EQ(khost::set_param("crv_platform", "regions", regions), 0);
		}
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		platform = true;
		ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
	}

	struct file *fb(int n)
	{
		struct file *f = khost::open(("fb" + std::to_string(n)).c_str());
		EXPECT_NE(f, nullptr) << "fb" << n;
		if (f)
			files.push_back(f);
		return f;
	}

	fb_var_screeninfo var(struct file *f)
	{
		fb_var_screeninfo v{};
		EXPECT_EQ(khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&v), 0);
		return v;
	}

	fb_fix_screeninfo fix(struct file *f)
	{
		fb_fix_screeninfo x{};
		EXPECT_EQ(khost::ioctl(f, FBIOGET_FSCREENINFO, (unsigned long)&x), 0);
		return x;
	}

	long io(struct file *f, unsigned cmd, unsigned long arg) { return khost::ioctl(f, cmd, arg); }
	long io(struct file *f, unsigned cmd, const void *p) { return khost::ioctl(f, cmd, (unsigned long)p); }

	std::vector<struct file *> files;
	bool loaded = false;
	bool platform = false;
};
