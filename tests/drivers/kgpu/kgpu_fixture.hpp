// The 2D engine on the host kernel: chip, device tree, register windows, an
// engine that raises its interrupt when started, and the module loaded.
#pragma once

#include "khost/gtest.hpp"
#include "khost/hw/gpu.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include <sys/ioctl.h>

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
#include "ker_gpu_if.h"
#include "uapi/vyr_gpu.h"
int kgpu_test_hwnum(void);
u32 kgpu_test_version(void);
u32 kgpu_test_regbase(int hw);
u32 kgpu_test_irq(int hw);
int kgpu_test_sem_count(int hw);
int kgpu_test_nonblock(int hw);
int kgpu_test_suspended(int hw);
int kgpu_test_force_disabled(void);
int kgpu_test_has_flush(void);
}

namespace kgpu {

constexpr uint32_t kChipQ2 = 0x51323030, kChipQ5 = 0x51353030;
constexpr uint32_t kIrq0 = 132, kIrq1 = 133;	// SPI 100 and 101

inline bool contains(const std::string &hay, const std::string &needle)
{
	return hay.find(needle) != std::string::npos;
}

class Gpu : public khost::KernelTest {
protected:
	// Interrupts follow each start bit unless the test raises them itself.
	bool auto_irq = true;

	void SetUp() override
	{
		ASSERT_EQ(khost::set_param("crv_platform", "vsync_hz", "0"), 0);
	}

	void TearDown() override
	{
		unload();
		stop_engine();
		khost::KernelTest::TearDown();
	}

	void scene(uint32_t chip, bool second_node = true)
	{
		ASSERT_EQ(khost::set_param("crv_platform", "chip_id", std::to_string(chip).c_str()), 0);
		auto *n0 = khost::dt_node(nullptr, "crkgpu");
		khost::dt_prop(n0, "interrupts", {0, 100, 4});
		khost::dt_prop(n0, "interrupt-affinity", {0});
		if (second_node) {
			auto *n1 = khost::dt_node(nullptr, "crkgpu2");
			khost::dt_prop(n1, "interrupts", {0, 101, 4});
		}
		for (uint32_t base : {0xFC050000u, 0xFC650000u, 0xFC370000u}) {
			khost::add_regs(base, 0x1000);	/* both windows in one page */
			khost::hw::gpu(base, base + 0x400);
			uint32_t irq = base == 0xFC370000u ? kIrq1 : kIrq0;
			// The start bits, the reset bits and the interrupt acknowledge
			// clear themselves; a command list starts on its PC setting.
			khost::on_write(base, [this, irq](phys_addr_t, uint64_t v, uint64_t &stored) {
				if ((v & 7) && !(v & 0xF0000000))
					start(irq);
				stored = v & ~0xF0000407ull;
			});
			khost::on_write(base + 0x41C, [this, irq](phys_addr_t, uint64_t v, uint64_t &stored) {
				if (v & 1)
					start(irq);
				stored = 0;
			});
		}
		engine = std::thread([this] { run_engine(); });
	}

	void load(uint32_t chip = kChipQ5, bool second_node = true)
	{
		scene(chip, second_node);
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
		loaded = true;
	}

	void unload()
	{
		if (file) {
			khost::close(file);
			file = nullptr;
		}
		if (loaded) {
			EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
			EXPECT_EQ(khost::unload_module("crv_platform"), 0);
			loaded = false;
		}
	}

	struct file *dev(unsigned flags = 2)
	{
		if (!file)
			file = khost::open("crkgpu", flags);
		return file;
	}

	long ioctl(unsigned cmd, void *arg) { return khost::ioctl(dev(), cmd, (unsigned long)arg); }

	// ---- the engine: one interrupt per start bit ----
	void start(uint32_t irq)
	{
		std::lock_guard<std::mutex> g(m);
		starts++;
		if (auto_irq) {
			pending.push_back(irq);
			cv.notify_all();
		}
	}

	int started()
	{
		std::lock_guard<std::mutex> g(m);
		return starts;
	}

	void run_engine()
	{
		std::unique_lock<std::mutex> g(m);
		for (;;) {
			cv.wait(g, [this] { return stopping || !pending.empty(); });
			if (stopping)
				return;
			uint32_t irq = pending.front();
			pending.pop_front();
			g.unlock();
			khost::raise_irq(irq);
			g.lock();
		}
	}

	void stop_engine()
	{
		{
			std::lock_guard<std::mutex> g(m);
			stopping = true;
			cv.notify_all();
		}
		if (engine.joinable())
			engine.join();
	}

	struct file *file = nullptr;
	bool loaded = false;
	std::thread engine;
	std::mutex m;
	std::condition_variable cv;
	std::deque<uint32_t> pending;
	bool stopping = false;
	int starts = 0;
};

} // namespace kgpu
