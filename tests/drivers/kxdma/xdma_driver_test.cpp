// XDMA engine driver over a modelled engine: register programming, blocking
// transfers completed by the interrupt, command lists with their watchdog,
// the ioctl gate, power hooks, the debug menu and a clean unload.
#include "khost/gtest.hpp"
#include "khost/hw/xdma.hpp"
#include "khost/oracle.hpp"

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
#include "ker_xdma.h"
#include "uapi/vyr_xdma.h"
int KER_XDMA_CMD(const struct vyr_xdma_cmd *pstCommands, u32 u32Count);
extern u32 g_KerXDMADbgMask;
}

namespace {

constexpr phys_addr_t kBase = 0xFC090000;
constexpr unsigned kIrq = 60 + 32;
constexpr const char *kQ5 = "0x51353030";

// LateIrq: the engine finishes, and its interrupt comes only when the driver
// reads the status after its wait timed out, ahead of that read.
enum class Policy { Normal, NoIrq, NeverDone, Spurious, Hold, LateIrq };

struct Model {
	Policy policy = Policy::Normal;
	std::atomic<int> pending{0};
	std::atomic<int> starts{0};
	std::atomic<bool> raising{false};
	std::atomic<bool> stop{false};
	std::atomic<bool> late_owed{false};
	std::thread irq_thread;
};
Model *model;
bool no_node;

u64 addr(uint32_t low_reg, int shift)
{
	return khost::reg(kBase + low_reg) | ((u64)((khost::reg(kBase + 0x2C) >> shift) & 3) << 32);
}

// The engine: one start runs the programmed fill or copy on simulated memory.
void run_engine()
{
	uint32_t mode = khost::reg(kBase + 0x18);
	uint32_t len = khost::reg(kBase + 0x08);
	uint32_t lines = khost::reg(kBase + 0x10);
	uint32_t width = lines >> 16, dstride = lines & 0xFFFF, sstride = khost::reg(kBase + 0x0C);
	uint8_t *dst = static_cast<uint8_t *>(khost::phys_ptr(addr(0x04, 30)));
	uint8_t *src = static_cast<uint8_t *>(khost::phys_ptr(addr(0x00, 28)));
	uint32_t fill = khost::reg(kBase + 0x14);
	if (!dst)
		return;
	bool strided = mode == 18 || mode == 19;
	uint32_t n = strided ? len / width : 1, w = strided ? width : len;
	for (uint32_t l = 0; l < n; l++)
		for (uint32_t i = 0; i < w; i++) {
			uint8_t *d = dst + (size_t)l * (strided ? dstride : 0) + i;
			if (mode == 3 || mode == 19)
				*d = (uint8_t)(fill >> (8 * (i % 4)));
			else if (src)
				*d = src[(size_t)l * (strided ? sstride : 0) + i];
		}
}

class Xdma : public khost::KernelTest {
protected:
	Model m;
	bool loaded = false;

	void SetUp() override
	{
		model = &m;
		/* 50 ms of engine timeout stays well above the model's interrupt latency. */
		khost::set_time_scale(10);
		ASSERT_EQ(khost::set_param("crv_platform", "chip_id", kQ5), 0);
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		khost::add_regs(kBase, 0x100);
		if (!no_node) {
			auto *n = khost::dt_node(nullptr, "crkxdma");
			khost::dt_prop(n, "interrupts", {0, 60, 4});
		}
		khost::on_write(kBase + 0x20, [](phys_addr_t, uint64_t v, uint64_t &stored) {
			stored = 0;
			if (!(v & 1))
				return;
			model->starts++;
			khost::set_reg(kBase + 0x24, 0);
			switch (model->policy) {
			case Policy::NeverDone:
				return;
			case Policy::Spurious:
				model->pending++;
				return;
			default:
				break;
			}
			run_engine();
			khost::set_reg(kBase + 0x24, 1);
			if (model->policy == Policy::LateIrq)
				model->late_owed = true;
			else if (model->policy != Policy::NoIrq)
				model->pending++;
		});
		/* The done bit clears by writing it. */
		khost::on_write(kBase + 0x24, [](phys_addr_t a, uint64_t v, uint64_t &stored) {
			stored = khost::reg(a) & ~(uint32_t)v;
		});
		khost::on_read(kBase + 0x24, [](phys_addr_t a, uint64_t stored) -> uint64_t {
			if (!model->late_owed.exchange(false))
				return stored;
			khost::raise_irq(kIrq);
			return khost::reg(a);
		});
		m.irq_thread = std::thread([this] {
			while (!m.stop) {
				if (m.policy != Policy::Hold && m.pending > 0) {
					m.raising = true;
					m.pending--;
					khost::raise_irq(kIrq);
					m.raising = false;
				} else {
					std::this_thread::sleep_for(std::chrono::microseconds(50));
				}
			}
		});
	}
	void TearDown() override
	{
		m.policy = Policy::Normal;
		if (loaded) {
			EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
		}
		m.stop = true;
		m.irq_thread.join();
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}
	void load()
	{
		ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
		loaded = true;
	}
	struct file *dev()
	{
		struct file *f = khost::open("crkxdma");
		EXPECT_NE(f, nullptr);
		return f;
	}
	// Waits until the engine has been started n times.
	void wait_starts(int n)
	{
		for (int i = 0; i < 2000 && m.starts < n; i++)
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	// An ioctl retried while the engine is still held (-EINTR), as a caller would.
	long ioctl_when_free(struct file *f, unsigned cmd, void *arg)
	{
		long r = -4;
		for (int i = 0; i < 2000 && r == -4; i++) {
			r = khost::ioctl(f, cmd, (unsigned long)arg);
			if (r == -4)
				std::this_thread::sleep_for(std::chrono::milliseconds(1));
		}
		return r;
	}
	// The register writes so far, once the interrupts the model owes have run
	// (a wait the driver ends on the done bit does not wait for its handler).
	std::vector<std::pair<uint32_t, uint32_t>> writes()
	{
		for (int i = 0; i < 2000 && m.policy != Policy::Hold && (m.pending > 0 || m.raising); i++)
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
		std::vector<std::pair<uint32_t, uint32_t>> w;
		for (auto &a : khost::journal())
			if (a.write && a.addr >= kBase && a.addr < kBase + 0x100)
				w.emplace_back((uint32_t)(a.addr - kBase), (uint32_t)a.value);
		return w;
	}
	std::vector<crv_clk_event> clocks()
	{
		crv_clk_event ev[64];
		int n = crv_clk_journal(ev, 64);
		return std::vector<crv_clk_event>(ev, ev + n);
	}
	size_t count(const std::string &needle) { return khost::log_count(needle); }
	void type(const std::string &lines)
	{
		ASSERT_EQ(khost::debugfs_write("crv_platform/menu", lines), 0);
		crv_dbg_wait_idle();
	}
};

using W = std::vector<std::pair<uint32_t, uint32_t>>;

/* ---- register programming ---- */

TEST_F(Xdma, StridedFillProgramsLinesAndFillsOnlyTheLineCells)
{
	load();
	phys_addr_t buf = khost::phys_alloc(4096);
	auto *p = static_cast<uint8_t *>(khost::phys_ptr(buf));
	memset(p, 0xEE, 4096);
	khost::clear_journal();
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = buf;
	req.u32ByteCount = 256;
	req.u16DstStride = 128;
	req.u16LineWidth = 64;
	req.u32FillValue = 0x11223344;
	ASSERT_EQ(KER_XDMA_FillRect(&req), 0);
	uint32_t hi = (uint32_t)((buf >> 32) & 3) << 30;
	EXPECT_EQ(writes(), (W{{0x00, 0}, {0x0C, 0}, {0x04, (uint32_t)buf}, {0x2C, hi}, {0x14, 0x11223344},
			       {0x08, 256}, {0x18, 19}, {0x10, (64u << 16) | 128}, {0x34, 256}, {0x20, 1},
			       {0x24, 1}}));	/* the interrupt acknowledges done */
	for (int l = 0; l < 4; l++) {
		uint32_t w;
		memcpy(&w, p + l * 128, 4);
		EXPECT_EQ(w, 0x11223344u) << "line " << l;
		EXPECT_EQ(p[l * 128 + 64], 0xEE) << "gap after line " << l;
	}
}

TEST_F(Xdma, CopyWithStrideEqualToWidthRunsContiguousWithTheEcoWord)
{
	load();
	phys_addr_t src = khost::phys_alloc(4096), dst = khost::phys_alloc(4096);
	for (int i = 0; i < 4096; i++)
		static_cast<uint8_t *>(khost::phys_ptr(src))[i] = (uint8_t)i;
	khost::set_reg(kBase + 0x2C, 0xBEEF);	/* bits 0-15 are kept */
	khost::clear_journal();
	ST_XDMA_REQUEST req = {};
	req.u64SrcAddr = src;
	req.u64DstAddr = dst;
	req.u32ByteCount = 4096;
	req.u16SrcStride = 64;
	req.u16DstStride = 64;
	req.u16LineWidth = 64;
	ASSERT_EQ(KER_XDMA_Blit(&req), 0);
	uint32_t hi = 0xBEEF | (1u << 28) | (1u << 30);
	EXPECT_EQ(writes(), (W{{0x00, (uint32_t)src}, {0x04, (uint32_t)dst}, {0x2C, hi}, {0x08, 4096},
			       {0x14, 0}, {0x18, 2}, {0x0C, 0}, {0x10, 0}, {0x30, 0x10000}, {0x34, 256},
			       {0x20, 1}, {0x24, 1}}));
	EXPECT_EQ(memcmp(khost::phys_ptr(src), khost::phys_ptr(dst), 4096), 0);
}

TEST_F(Xdma, WidthThatDoesNotDivideTheLengthIsRefusedThreeTimes)
{
	load();
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);
	req.u32ByteCount = 1000;
	req.u16DstStride = 512;
	req.u16LineWidth = 300;
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
	EXPECT_EQ(count("XDMA timeout or fail\n"), 3u);
	EXPECT_EQ(m.starts, 0);
}

TEST_F(Xdma, AddressesBeyondTheEngineAreRefusedNotTruncated)
{
	ASSERT_EQ(khost::set_param("crv_platform", "chip_id", "0x7fffffff"), 0);
	load();
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);	/* above 4 GiB: no high-address register */
	req.u32ByteCount = 64;
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
	req.u64DstAddr = 0xFFFFFFC0;
	req.u32ByteCount = 0x80;			/* runs past 4 GiB */
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
	EXPECT_EQ(m.starts, 0);
	req.u32ByteCount = 0x40;
	EXPECT_EQ(KER_XDMA_FillRect(&req), 0);
}

TEST_F(Xdma, ATransferRunningPastA4GiBBoundaryIsRefused)
{
	load();
	khost::hw::xdma::install();
	khost::oracle::enable(true);
	khost::oracle::allow(0xFFFF0000, 0x20000, "a buffer across 4 GiB");
	/* Fill, copy out of a source that crosses, lines whose last one crosses. */
	ST_XDMA_REQUEST reqs[3] = {{0, 0xFFFFF000, 0x2000, 0, 0, 0, 0, 0},
				   {0xFFFFF000, 0xFFFF0000, 0x2000, 0, 0, 0, 0, 0},
				   {0, 0xFFFF0000, 0x300, 0, 0x8000, 0x100, 0, 0}};
	EXPECT_EQ(KER_XDMA_FillRect(&reqs[0]), -22);
	EXPECT_EQ(KER_XDMA_Blit(&reqs[1]), -22);
	EXPECT_EQ(KER_XDMA_FillRect(&reqs[2]), -22);
	EXPECT_EQ(m.starts, 0);
	khost::oracle::enable(false);
}

TEST_F(Xdma, OracleDecodesEachStartAndFlagsMemoryTheCallerWasNotGiven)
{
	load();
	khost::hw::xdma::install();
	khost::oracle::enable(true);
	phys_addr_t mine = khost::phys_alloc(4096), other = khost::phys_alloc(4096);
	khost::oracle::allow(mine, 4096, "the caller's buffer");
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = mine;
	req.u32ByteCount = 0x100;
	req.u16DstStride = 128;
	req.u16LineWidth = 64;
	EXPECT_EQ(KER_XDMA_FillRect(&req), 0);
	auto seen = khost::oracle::seen();
	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0].addr, mine);
	EXPECT_EQ(seen[0].size, 3u * 128 + 64);
	EXPECT_TRUE(khost::oracle::findings().empty());
	req.u64SrcAddr = other;	/* a copy out of memory the caller was not given */
	req.u16SrcStride = 64;
	EXPECT_EQ(KER_XDMA_Blit(&req), 0);
	ASSERT_EQ(khost::oracle::findings().size(), 1u);
	EXPECT_NE(khost::oracle::findings()[0].find("reads [0x" + ([&] {
		char b[32];
		snprintf(b, sizeof b, "%llx", (unsigned long long)other);
		return std::string(b);
	})()), std::string::npos);
	khost::oracle::enable(false);
	khost::clear_faults();
}

/* ---- completion, timeouts and resets ---- */

TEST_F(Xdma, LostInterruptWithTheDoneBitSetStillSucceeds)
{
	load();
	m.policy = Policy::NoIrq;
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);
	req.u32ByteCount = 64;
	EXPECT_EQ(KER_XDMA_FillRect(&req), 0);
	EXPECT_EQ(count("XDMA done but Irq timeout !!!!!\n"), 1u);
	EXPECT_TRUE(clocks().empty());
}

TEST_F(Xdma, CompletionLandingBetweenTheTimeoutAndTheStatusReadIsNoFailure)
{
	load();
	crv_clk_journal_clear();
	m.policy = Policy::LateIrq;
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);
	req.u32ByteCount = 64;
	EXPECT_EQ(KER_XDMA_FillRect(&req), 0);
	EXPECT_EQ(m.starts, 1) << "a finished transfer is not repeated";
	EXPECT_TRUE(clocks().empty()) << "a finished engine is not reset";
}

TEST_F(Xdma, EngineThatNeverFinishesIsResetAfterEachOfThreeAttempts)
{
	load();
	crv_clk_journal_clear();
	m.policy = Policy::NeverDone;
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);
	req.u32ByteCount = 64;
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
	EXPECT_EQ(m.starts, 3);
	EXPECT_EQ(count("wait completion timeout!\n"), 3u);
	auto ev = clocks();
	ASSERT_EQ(ev.size(), 12u);
	const uint32_t order[4][2] = {{0x45, 1}, {0xF, 1}, {0xF, 0}, {0x45, 0}};
	for (size_t i = 0; i < ev.size(); i++) {
		EXPECT_EQ(ev[i].reset, 1);
		EXPECT_EQ(ev[i].id, order[i % 4][0]);
		EXPECT_EQ(ev[i].value, order[i % 4][1]);
	}
}

TEST_F(Xdma, InterruptWithoutTheDoneBitDoesNotEndTheWait)
{
	load();
	m.policy = Policy::Spurious;
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);
	req.u32ByteCount = 64;
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
	EXPECT_GE(count("Transfer not completed!\n"), 1u);
}

TEST_F(Xdma, LateInterruptOfAnEarlierTransferDoesNotEndTheNextOne)
{
	load();
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);
	req.u32ByteCount = 64;
	m.policy = Policy::NoIrq;
	ASSERT_EQ(KER_XDMA_FillRect(&req), 0);	/* done, interrupt still owed */
	khost::raise_irq(kIrq);			/* ... and it comes late */
	m.policy = Policy::NeverDone;
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
}

/* ---- ioctl gate and argument checks ---- */

TEST_F(Xdma, DeviceFileRunsPhysicalTransfersAndRefusesKernelNumbers)
{
	load();
	struct file *f = dev();
	phys_addr_t dst = khost::phys_alloc(4096);
	vyr_xdma_transfer t = {};
	t.dst_addr = dst;
	t.byte_count = 128;
	t.fill_value = 0xA5A5A5A5;
	t.mode = KXDMA_MODE_FILL;
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_PHYS, (unsigned long)&t), 0);
	EXPECT_EQ(static_cast<uint8_t *>(khost::phys_ptr(dst))[127], 0xA5);
	/* 7 and 8 take kernel records: never from user space. */
	EXPECT_EQ(khost::ioctl(f, _IOW(KXDMA_IO_TYPE, 7, struct vyr_xdma_transfer), (unsigned long)&t), -22);
	EXPECT_EQ(khost::ioctl(f, _IOW(0x12, 8, struct vyr_xdma_transfer), (unsigned long)&t), -22);
	EXPECT_EQ(count("XDMA ioctl command error (8)! Only allow COPY_PHYS_TO_PHYS & FILL_PHYS\n"), 1u);
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_COPY_VIRT_TO_PHYS, 0), -1);
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_FILL_VIRT, 0), -1);
	EXPECT_EQ(khost::ioctl(f, _IO(KXDMA_IO_TYPE, 12), 0), -22);
	t.mode = 5;
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_PHYS, (unsigned long)&t), -22);
	t.mode = KXDMA_MODE_FILL;
	t.byte_count = 0;
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_PHYS2, (unsigned long)&t), -1);
	khost::fail_user_copy_after(0);
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_PHYS, (unsigned long)&t), -14);
	struct vyr_xdma_cmd_status st;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_GET_COMMAND_STATUS, (unsigned long)&st), -14);
	khost::fail_user_copy_after(-1);
	/* The engine was given back every time. */
	t.byte_count = 64;
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_PHYS, (unsigned long)&t), 0);
	khost::close(f);
}

/* Any caller may loop on them: they neither take the engine nor flood the log. */
TEST_F(Xdma, NumbersTheEngineDoesNotRunLeaveItFree)
{
	load();
	struct file *f = dev();
	g_KerXDMADbgMask = 0xF;	/* the lock's own trace */
	for (int i = 0; i < 50; i++) {
		EXPECT_EQ(khost::ioctl(f, _IO(KXDMA_IO_TYPE, 0), 0), -22);
		EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_FILL_VIRT, 0), -1);
	}
	EXPECT_EQ(count("get semaphore\n"), 0u);
	EXPECT_LE(count("Only allow COPY_PHYS_TO_PHYS & FILL_PHYS\n"), 10u);
	khost::close(f);
}

TEST_F(Xdma, CompatEntryTakesThe32BitPointer)
{
	load();
	struct file *f = dev();
	auto *t = static_cast<vyr_xdma_transfer *>(khost::compat_alloc(sizeof(vyr_xdma_transfer)));
	memset(t, 0, sizeof(*t));
	phys_addr_t dst = khost::phys_alloc(4096);
	t->dst_addr = dst;
	t->byte_count = 64;
	t->fill_value = 0x01020304;
	EXPECT_EQ(khost::compat_ioctl(f, AXIDMA_USER_IO_PHYS, (unsigned long)t), 0);
	EXPECT_EQ(static_cast<uint8_t *>(khost::phys_ptr(dst))[0], 0x04);
	khost::close(f);
}

TEST_F(Xdma, ExportedOperationsCheckStartUpAndTheirRequest)
{
	ST_XDMA_REQUEST req = {};
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
	EXPECT_EQ(count("DRV_XDMA is not initialized!\n"), 1u);
	load();
	EXPECT_EQ(KER_XDMA_Blit(nullptr), -22);
	EXPECT_EQ(count("NULL parameter!\n"), 1u);
	ASSERT_EQ(khost::unload_module("vyr_gfx"), 0);
	loaded = false;
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
	EXPECT_EQ(count("DRV_XDMA is not initialized!\n"), 2u);
}

TEST_F(Xdma, SelfTestComparesStridedCopiesAndFills)
{
	load();
	struct file *f = dev();
	vyr_xdma_transfer t = {};
	t.byte_count = 512;
	t.src_stride = 200;
	t.dst_stride = 96;
	t.line_width = 64;
	t.mode = KXDMA_MODE_COPY;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_SELF_TEST, (unsigned long)&t), 0);
	t.mode = KXDMA_MODE_FILL;
	t.fill_value = 0xCAFEF00D;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_SELF_TEST, (unsigned long)&t), 0);
	t.mode = 3;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_SELF_TEST, (unsigned long)&t), -1);
	m.policy = Policy::NeverDone;
	t.mode = KXDMA_MODE_COPY;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_SELF_TEST, (unsigned long)&t), -16);
	EXPECT_EQ(count("run XDMA failed!\n"), 1u);
	m.policy = Policy::Normal;
	khost::fail_kmalloc_after(-1);
	t.byte_count = 0x8000000;	/* 128 MiB: more than the self-test allocates */
	t.line_width = 0;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_SELF_TEST, (unsigned long)&t), -22);
	khost::close(f);
}

/* Operations that reach raw physical memory or run the self-test, by opener. */
struct Gate {
	unsigned nr;
	int cap;
};

class XdmaGate : public Xdma, public ::testing::WithParamInterface<Gate> {};

TEST_P(XdmaGate, NeedsItsCapabilityAndKeepsWorkingWithIt)
{
	load();
	vyr_xdma_transfer t = {};
	t.dst_addr = khost::phys_alloc(4096);
	t.byte_count = 64;
	t.mode = KXDMA_MODE_FILL;
	vyr_xdma_cmd cmd = {0x1000, 0x2000, 0x40};	/* lists reach 32 bits */
	vyr_xdma_cmd_header hdr = {(u64)(uintptr_t)&cmd, 1, 0};
	bool list = GetParam().nr == 5 || GetParam().nr == 9;
	unsigned ioc = list ? _IOW(KXDMA_IO_TYPE, GetParam().nr, vyr_xdma_cmd_header)
			    : _IOW(KXDMA_IO_TYPE, GetParam().nr, vyr_xdma_transfer);
	void *arg = list ? (void *)&hdr : (void *)&t;

	khost::set_caps(khost::kAllCaps & ~khost::cap_bit(GetParam().cap));
	struct file *f = dev();
	EXPECT_EQ(khost::ioctl(f, ioc, (unsigned long)arg), -EPERM);
	EXPECT_EQ(khost::compat_ioctl(f, ioc, (unsigned long)arg), -EPERM);
	EXPECT_EQ(m.starts, 0);
	khost::close(f);

	khost::set_caps(khost::cap_bit(GetParam().cap));
	f = dev();
	EXPECT_EQ(ioctl_when_free(f, ioc, arg), 0);
	wait_starts(1);
	EXPECT_EQ(m.starts, 1);
	khost::close(f);
}

INSTANTIATE_TEST_SUITE_P(Nodes, XdmaGate,
			 ::testing::Values(Gate{2, CAP_SYS_RAWIO}, Gate{3, CAP_SYS_RAWIO}, Gate{5, CAP_SYS_RAWIO},
					   Gate{9, CAP_SYS_RAWIO}, Gate{11, CAP_SYS_ADMIN}));

/* ---- command lists ---- */

TEST_F(Xdma, CommandListRunsStepByStepAndReleasesTheEngineAtItsEnd)
{
	khost::set_time_scale(1);	/* the watchdog must not fire while interrupts are held */
	load();
	struct file *f = dev();
	m.policy = Policy::Hold;
	vyr_xdma_cmd cmds[3] = {{0x1000, 0x2000, 0x100}, {0x3000, 0x4000, 0x40}, {0x5000, 0x6000, 0x8}};
	vyr_xdma_cmd_header hdr = {(u64)(uintptr_t)cmds, 3, 0};
	khost::clear_journal();
	ASSERT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE, (unsigned long)&hdr), 0);
	EXPECT_EQ(writes(), (W{{0x0C, 0}, {0x10, 0}, {0x14, 0}, {0x18, 2}, {0x2C, 0}, {0x30, 0x10000},
			       {0x00, 0x1000}, {0x04, 0x2000}, {0x08, 0x100}, {0x34, 256}, {0x20, 1}}));

	vyr_xdma_cmd_status st = {};
	ASSERT_EQ(khost::ioctl(f, KXDMA_IO_GET_COMMAND_STATUS2, (unsigned long)&st), 0);
	EXPECT_EQ(st.index, 0u);
	EXPECT_EQ(st.dst_addr, 0x2000u);
	EXPECT_EQ(st.length, 0x100u);
	EXPECT_EQ(st.irq_flag, 0u);
	/* Held by the list: a second user fails fast. */
	vyr_xdma_transfer t = {};
	t.dst_addr = khost::phys_alloc(4096);
	t.byte_count = 64;
	EXPECT_EQ(khost::ioctl(f, AXIDMA_USER_IO_PHYS, (unsigned long)&t), -4);
	EXPECT_EQ(count("HW Busy !!!!!\n"), 1u);

	khost::raise_irq(kIrq);
	m.pending--;
	ASSERT_EQ(khost::ioctl(f, KXDMA_IO_GET_COMMAND_STATUS, (unsigned long)&st), 0);
	EXPECT_EQ(st.index, 1u);
	EXPECT_EQ(st.dst_addr, 0x4000u);
	m.policy = Policy::Normal;
	khost::raise_irq(kIrq);
	m.pending--;
	wait_starts(3);
	EXPECT_EQ(ioctl_when_free(f, AXIDMA_USER_IO_PHYS, &t), 0);
	EXPECT_EQ(m.starts, 4);
	khost::close(f);
}

TEST_F(Xdma, CommandListAfterAHighStridedFillCopiesContiguouslyBelow4GiB)
{
	khost::set_time_scale(1);
	load();
	ST_XDMA_REQUEST fill = {};
	fill.u64DstAddr = khost::phys_alloc(4096);	/* above 4 GiB */
	fill.u32ByteCount = 0x100;
	fill.u16DstStride = 128;
	fill.u16LineWidth = 64;
	fill.u32FillValue = 0x5A5A5A5A;
	ASSERT_EQ(KER_XDMA_FillRect(&fill), 0);
	auto *src = static_cast<uint8_t *>(khost::phys_ptr(khost::foreign_ram()));
	auto *dst = src + 0x10000;
	for (int i = 0; i < 0x100; i++)
		src[i] = (uint8_t)(i + 1);
	memset(dst, 0, 0x100);
	vyr_xdma_cmd cmds[2] = {{khost::foreign_ram(), khost::foreign_ram() + 0x10000, 0x80},
				{khost::foreign_ram() + 0x80, khost::foreign_ram() + 0x10080, 0x80}};
	khost::clear_journal();
	ASSERT_EQ(KER_XDMA_CMD(cmds, 2), 0);
	wait_starts(3);
	vyr_xdma_transfer t = {};
	t.dst_addr = fill.u64DstAddr;
	t.byte_count = 64;
	struct file *f = dev();
	EXPECT_EQ(ioctl_when_free(f, AXIDMA_USER_IO_PHYS, &t), 0);
	EXPECT_EQ(memcmp(src, dst, 0x100), 0) << "the list's copies land where it named";
	uint32_t prestart = 0;
	int starts = 0;
	for (auto &w : writes()) {
		if (w.first == 0x34)
			prestart = w.second;
		if (w.first == 0x20 && (w.second & 1) && starts++ < 2) {
			EXPECT_EQ(prestart, 256u) << "0x34 is written before every command start";
			prestart = 0;
		}
	}
	khost::close(f);
}

TEST_F(Xdma, RefusedCommandListsLeaveTheEngineFree)
{
	khost::set_time_scale(1);	/* no watchdog restarts while the model is slow */
	load();
	struct file *f = dev();
	std::vector<vyr_xdma_cmd> cmds(130, vyr_xdma_cmd{0x1000, 0x2000, 0x10});
	vyr_xdma_cmd_header hdr = {(u64)(uintptr_t)cmds.data(), 128, 0};
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE, (unsigned long)&hdr), -22);
	EXPECT_EQ(count("Command Buffer overflow!\n"), 1u);
	hdr.count = 0;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE2, (unsigned long)&hdr), -22);
	hdr.count = 2;
	khost::poison_user(cmds.data(), 48);
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE, (unsigned long)&hdr), -14);
	khost::fail_user_copy_after(0);
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE2, (unsigned long)&hdr), -14);
	khost::fail_user_copy_after(-1);
	EXPECT_EQ(count("XDMA ioctl command error (9)! Copy from user fail\n"), 1u) << "named by its own number";
	std::vector<vyr_xdma_cmd> high(2, vyr_xdma_cmd{0x100000000ULL, 0x2000, 0x10});
	hdr.commands = (u64)(uintptr_t)high.data();
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE, (unsigned long)&hdr), -22);
	khost::fail_kmalloc_after(0);
	hdr.commands = (u64)(uintptr_t)cmds.data() + 48 * 8;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE, (unsigned long)&hdr), -14);
	khost::fail_kmalloc_after(-1);
	EXPECT_EQ(m.starts, 0);
	/* One list of 127 runs to its end. */
	hdr.commands = (u64)(uintptr_t)(cmds.data() + 2);
	hdr.count = 127;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_COMMAND_MODE, (unsigned long)&hdr), 0);
	wait_starts(127);
	vyr_xdma_transfer t = {};
	t.dst_addr = khost::phys_alloc(4096);
	t.byte_count = 64;
	EXPECT_EQ(ioctl_when_free(f, AXIDMA_USER_IO_PHYS, &t), 0);
	EXPECT_EQ(m.starts, 128);
	khost::close(f);
}

TEST_F(Xdma, WatchdogRestartsAStuckCommandAndGivesUpAfterThreeTries)
{
	load();
	m.policy = Policy::NeverDone;
	vyr_xdma_cmd cmds[2] = {{0x1000, 0x2000, 0x100}, {0x3000, 0x4000, 0x40}};
	ASSERT_EQ(KER_XDMA_CMD(cmds, 2), 0);
	for (int i = 0; i < 3000 && m.starts < 3; i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	struct file *f = dev();
	vyr_xdma_cmd_status st = {};
	/* Given up: the engine is free again and the failure is counted. */
	vyr_xdma_transfer t = {};
	t.dst_addr = khost::phys_alloc(4096);
	t.byte_count = 64;
	t.fill_value = 1;
	m.policy = Policy::Normal;
	EXPECT_EQ(ioctl_when_free(f, AXIDMA_USER_IO_PHYS, &t), 0);
	ASSERT_EQ(khost::ioctl(f, KXDMA_IO_GET_COMMAND_STATUS, (unsigned long)&st), 0);
	EXPECT_EQ(st.fail_count, 1u);
	EXPECT_EQ(st.index, 0u);
	EXPECT_EQ(m.starts, 4);	/* the stuck command three times, then the fill */
	EXPECT_GE(count("HW_XDMA_Timeout\n"), 3u);
	khost::close(f);
}

TEST_F(Xdma, UnloadWithAListRunningStopsTheWatchdogAndFreesTheList)
{
	load();
	m.policy = Policy::Hold;
	vyr_xdma_cmd cmds[2] = {{0x1000, 0x2000, 0x100}, {0x3000, 0x4000, 0x40}};
	ASSERT_EQ(KER_XDMA_CMD(cmds, 2), 0);
	ASSERT_EQ(khost::unload_module("vyr_gfx"), 0);
	loaded = false;
	m.pending = 0;
	EXPECT_EQ(count("[INF_DRV_XDMA]driver unloaded > OK\r\n"), 1u);
}

/* ---- power ---- */

TEST_F(Xdma, SuspendInStandbyGatesClocksAndResumeRestoresRegisters)
{
	load();
	struct file *f = dev();
	khost::set_reg(kBase + 0x0C, 0x1234);
	khost::set_reg(kBase + 0x2C, 0x40000000);
	crv_clk_journal_clear();
	ASSERT_EQ(khost::system_suspend(), 0);
	vyr_xdma_cmd_status st;
	EXPECT_EQ(khost::ioctl(f, KXDMA_IO_GET_COMMAND_STATUS, (unsigned long)&st), -4);
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = khost::phys_alloc(4096);
	req.u32ByteCount = 64;
	EXPECT_EQ(KER_XDMA_FillRect(&req), -4);
	EXPECT_EQ(count("PMI Suspend HW !!!!!\n"), 2u);
	khost::set_reg(kBase + 0x0C, 0);
	khost::set_reg(kBase + 0x2C, 0);
	khost::clear_journal();
	ASSERT_EQ(khost::system_resume(), 0);
	auto ev = clocks();
	ASSERT_EQ(ev.size(), 4u);
	EXPECT_EQ(ev[0].id, 0x8843u);
	EXPECT_EQ(ev[0].value, 0u);
	EXPECT_EQ(ev[1].id, 0x8043u);
	EXPECT_EQ(ev[2].id, 0x8043u);
	EXPECT_EQ(ev[2].value, 1u);
	EXPECT_EQ(ev[3].id, 0x8843u);
	EXPECT_EQ(khost::reg(kBase + 0x0C), 0x1234u);
	EXPECT_EQ(khost::reg(kBase + 0x2C), 0x40000000u);
	for (auto &w : writes())
		EXPECT_NE(w.first, 0x20u) << "resume must not start the engine";
	EXPECT_EQ(KER_XDMA_FillRect(&req), 0);
	khost::close(f);
}

TEST_F(Xdma, SuspendWithAListRunningStopsTheWatchdogUntilResume)
{
	khost::set_time_scale(100);
	load();
	m.policy = Policy::NeverDone;
	/* 64 MiB commands: 3.2 s of watchdog each, past suspend's 2 s wait for the engine. */
	vyr_xdma_cmd cmds[1] = {{0x10000000, 0x20000000, 0x4000000}};
	ASSERT_EQ(KER_XDMA_CMD(cmds, 1), 0);
	ASSERT_EQ(khost::system_suspend(), 0);
	crv_clk_journal_clear();
	int starts = m.starts;
	std::this_thread::sleep_for(std::chrono::milliseconds(80));	/* 8 s of kernel time */
	for (auto &ev : clocks())
		EXPECT_EQ(ev.reset, 0) << "a clock-gated engine is reset";
	EXPECT_EQ(m.starts, starts);
	m.policy = Policy::Normal;
	ASSERT_EQ(khost::system_resume(), 0);
	/* Watched again: the stuck command is started anew and the list ends. */
	struct file *f = dev();
	vyr_xdma_transfer t = {};
	t.dst_addr = khost::phys_alloc(4096);
	t.byte_count = 64;
	EXPECT_EQ(ioctl_when_free(f, AXIDMA_USER_IO_PHYS, &t), 0);
	EXPECT_EQ(m.starts, starts + 2);
	khost::close(f);
}

TEST_F(Xdma, ATransferTimingOutOnAnEngineGatedBySuspendIsNotRetried)
{
	khost::set_time_scale(100);
	load();
	m.policy = Policy::NeverDone;
	ST_XDMA_REQUEST req = {};
	req.u64DstAddr = 0x10000000;
	req.u32ByteCount = 0x10000000;	/* 12.8 s of wait, well past suspend's 2 s wait for the engine */
	int ret = 0;
	std::thread caller([&] { ret = KER_XDMA_FillRect(&req); });
	wait_starts(1);
	ASSERT_EQ(khost::system_suspend(), 0);
	caller.join();
	EXPECT_EQ(ret, -4);
	EXPECT_EQ(m.starts, 1);
	ASSERT_EQ(khost::system_resume(), 0);
}

/* ---- debug menu ---- */

TEST_F(Xdma, DebugMenuRunsTestsAndHooks)
{
	load();
	crv_clk_journal_clear();
	type("DRV_XDMA\nFill Test\n");
	EXPECT_EQ(khost::reg(kBase + 0x04), 0x07000000u);
	EXPECT_EQ(khost::reg(kBase + 0x2C) >> 30, 1u);
	EXPECT_EQ(count("AXI DMA Success!\n"), 1u);
	type("Ker_Suspend Test\nKer_Suspend Test\n");
	EXPECT_EQ(count("Suspend twice or not resume yet.\n"), 1u);
	EXPECT_TRUE(clocks().empty()) << "no clock change outside standby";
	type("Ker_Resume Test\nKer_Resume Test\n");
	EXPECT_EQ(count("Not suspend before resume.\n"), 1u);
	type("Ker_Copy Test\n4096\n8192\n256\n");
	EXPECT_EQ(khost::reg(kBase + 0x00), 4096u);
	EXPECT_EQ(khost::reg(kBase + 0x04), 8192u);
	EXPECT_EQ(count("Copy 0x100 in "), 1u);
	type("Ker_CMDMode Test\n2\n");
	EXPECT_EQ(count("AXI DMA Success!\n"), 3u);
	type("Set Dbg Mask\n3\n");
	EXPECT_EQ(count("g_XDMADbgMask = 15\n"), 1u);
	type("Set Dbg Mask\n0xFFFFFFFF\n");
	EXPECT_EQ(count("g_XDMADbgMask = 0\n"), 1u);
}

class XdmaNoNode : public Xdma {
protected:
	void SetUp() override
	{
		no_node = true;
		Xdma::SetUp();
	}
};

TEST_F(XdmaNoNode, StartUpWithoutItsDeviceTreeNodeLeavesNothingBehind)
{
	load();
	EXPECT_EQ(count(">>>error node not found\n"), 1u);
	EXPECT_EQ(count("can't request IRQ for crkxdma\n"), 1u);
	EXPECT_EQ(count("driver loaded > ERROR !!!\r\n"), 1u);
	EXPECT_EQ(khost::open("crkxdma"), nullptr);
	ST_XDMA_REQUEST req = {};
	EXPECT_EQ(KER_XDMA_FillRect(&req), -22);
}

} // namespace
