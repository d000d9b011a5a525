// HDMA engine driver over a modelled four-channel engine: programming,
// blocking and non-blocking transfers ended by the interrupt, timeouts and
// resets, the device file, power hooks, the debug menu and a clean unload.
#include "khost/gtest.hpp"
#include "khost/hw/hdma.hpp"
#include "khost/oracle.hpp"

#include <atomic>
#include <chrono>
#include <mutex>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
#include "ker_hdma.h"
#include "uapi/vyr_hdma.h"
#include "hw_hdma.h"
int _KER_HDMA_SetSemMax(u32 u32Max);
}

namespace {

constexpr phys_addr_t kBase = 0xFC0C0000;
constexpr phys_addr_t kImvq = 0xFC310000;
constexpr unsigned kIrq = 70 + 32;

// LateIrq: the channel finishes and its interrupt comes only when the driver
// reads the finish status after its wait timed out, ahead of that read.
// Slow: the engine reads its source a few milliseconds after the start.
enum class Policy { Normal, NoIrq, NeverDone, LateIrq, Slow };

struct Model {
	Policy policy = Policy::Normal;
	std::atomic<int> pending{0};
	std::atomic<int> starts{0};
	std::atomic<bool> stop{false};
	std::atomic<bool> late_owed{false};
	std::mutex slow_lock;
	std::vector<int> slow;	/* channels started, not yet run */
	std::thread irq_thread;
};
Model *model;
bool no_node;

uint32_t r(uint32_t off) { return khost::reg(kBase + off); }

void put32(u64 addr, uint32_t v)
{
	if (void *p = khost::phys_ptr(addr))
		memcpy(p, &v, 4);
}

void run_channel(int c)
{
	uint32_t ch = 0x40 * c, ctrl = r(0x88 + ch), len = r(0x98 + ch), hi = r(0x3C);
	u64 src = r(0x90 + ch) | ((u64)((hi >> 28) & 3) << 32);
	u64 dst = r(0x94 + ch) | ((u64)((hi >> 24) & 3) << 32);
	bool fixed = ctrl & 0x10;
	for (uint32_t i = 0; i < len / 4; i++) {
		u64 d = fixed ? dst : dst + 4 * i;
		if (ctrl & 0x100) {
			uint32_t e[2];
			if (void *p = khost::phys_ptr(src + 8 * i))
				memcpy(e, p, 8);
			else
				continue;
			if (i < len / 8)
				put32(e[1], e[0]);
		} else if (ctrl & 0x1) {
			put32(d, r(0x9C + ch));
		} else if (void *p = khost::phys_ptr(src + 4 * i)) {
			uint32_t v;
			memcpy(&v, p, 4);
			put32(d, v);
		}
	}
	khost::set_reg(kBase + 0xAC + ch, r(0x80 + ch));
	khost::set_reg(kBase + 0xA4 + ch, 1);
}

// Kernel memory of another module: what the exports take as a staged source.
template <typename T> struct KMem {
	T *p;
	explicit KMem(size_t n) : p(static_cast<T *>(kzalloc(n * sizeof(T), GFP_KERNEL))) {}
	~KMem() { kfree(p); }
	T &operator[](size_t i) { return p[i]; }
	u64 addr() const { return (u64)(uintptr_t)p; }
};

class Hdma : public khost::KernelTest {
protected:
	Model m;
	bool loaded = false;

	void SetUp() override
	{
		model = &m;
		khost::set_time_scale(10);
		ASSERT_EQ(khost::set_param("crv_platform", "chip_id", "0x51353030"), 0);
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		khost::add_regs(kBase, 0x300);
		khost::add_regs(kImvq, 0x2000);
		khost::add_regs(0xFD110800, 0x200);
		khost::add_regs(0xFE005000, 0x2000);
		khost::add_regs(0xFE000000, 0x1000);
		khost::add_regs(0xFC0D0000, 0x1000);
		khost::add_regs(0xFC0DB000, 0x100);
		if (!no_node) {
			auto *n = khost::dt_node(nullptr, "crkhdma");
			khost::dt_prop(n, "interrupts", {0, 70, 4});
		}
		for (int c = 0; c < 4; c++) {
			khost::on_write(kBase + 0xA0 + 0x40 * c, [c](phys_addr_t, uint64_t v, uint64_t &stored) {
				stored = 0;
				if (!(v & 1))
					return;
				model->starts++;
				if (model->policy == Policy::NeverDone)
					return;
				if (model->policy == Policy::Slow) {
					std::lock_guard<std::mutex> g(model->slow_lock);
					model->slow.push_back(c);
					return;
				}
				run_channel(c);
				if (model->policy == Policy::Normal)
					model->pending++;
				else if (model->policy == Policy::LateIrq)
					model->late_owed = true;
			});
			khost::on_write(kBase + 0xA4 + 0x40 * c, [](phys_addr_t, uint64_t v, uint64_t &stored) {
				stored = (v & 1) ? 0 : stored;
			});
			khost::on_read(kBase + 0xA4 + 0x40 * c, [](phys_addr_t a, uint64_t stored) -> uint64_t {
				if (!model->late_owed.exchange(false))
					return stored;
				khost::raise_irq(kIrq);
				return khost::reg(a);
			});
		}
		m.irq_thread = std::thread([this] {
			while (!m.stop) {
				int c = -1;
				{
					std::lock_guard<std::mutex> g(m.slow_lock);
					if (!m.slow.empty()) {
						c = m.slow.front();
						m.slow.erase(m.slow.begin());
					}
				}
				if (c >= 0) {
					std::this_thread::sleep_for(std::chrono::milliseconds(5));
					run_channel(c);
					khost::raise_irq(kIrq);
				} else if (m.pending > 0) {
					m.pending--;
					khost::raise_irq(kIrq);
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
	size_t count(const std::string &needle) { return khost::log_count(needle); }
	std::vector<std::pair<uint32_t, uint32_t>> writes()
	{
		std::vector<std::pair<uint32_t, uint32_t>> w;
		for (auto &a : khost::journal())
			if (a.write && a.addr >= kBase && a.addr < kBase + 0x300)
				w.emplace_back((uint32_t)(a.addr - kBase), (uint32_t)a.value);
		return w;
	}
	std::vector<crv_clk_event> clocks()
	{
		crv_clk_event ev[64];
		int n = crv_clk_journal(ev, 64);
		return std::vector<crv_clk_event>(ev, ev + n);
	}
	void type(const std::string &lines)
	{
		ASSERT_EQ(khost::debugfs_write("crv_platform/menu", lines), 0);
		crv_dbg_wait_idle();
	}
	uint32_t imvq(int i) { return khost::reg(kImvq + 4 * i); }
};

using W = std::vector<std::pair<uint32_t, uint32_t>>;

/* ---- programming ---- */

TEST_F(Hdma, EachOperationWritesItsRegistersInOrder)
{
	load();
	khost::set_reg(kBase + 0x3C, 0xFFFFFFFF);
	ST_HDMA_FILL f = {1, 0x1FC310000ULL, 0x5A5A5A5A, 0x40};
	u32 ch = 9;
	khost::clear_journal();
	ASSERT_EQ(HW_HDMA_Fill(&f, 3, 0x1234, 0, &ch), 0);
	EXPECT_EQ(ch, 0u);
	EXPECT_EQ(writes(), (W{{0x8C, 1}, {0xA8, 1}, {0x84, 3}, {0x80, 0x1234}, {0x90, 0},
			       {0x94, 0xFC310000}, {0x3C, 0x0100000F}, {0x9C, 0x5A5A5A5A}, {0x98, 0x40},
			       {0x88, 0x11}, {0xA0, 1}}));
	for (int i = 0; i < 2000 && r(0xA4); i++)	/* the interrupt takes channel 0's end */
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	HW_HDMA_Release(0);	/* its owner, having seen it, gives the channel back */
	ST_HDMA_COPY c = {0, 0x200001000ULL, 0x1FC310000ULL, 0x80};
	khost::clear_journal();
	ASSERT_EQ(HW_HDMA_Copy(&c, 0, 0, 0, &ch), 0);
	EXPECT_EQ(ch, 0u) << "the finished channel was given back by its owner";
	auto w = writes();
	ASSERT_EQ(w.size(), 11u);
	EXPECT_EQ(w[4], std::make_pair(0x9Cu, 0u));
	EXPECT_EQ(w[5], std::make_pair(0x90u, 0x1000u));
	EXPECT_EQ(w[7], std::make_pair(0x3Cu, 0x21000000u | (0x0100000Fu & 0xF)));
	EXPECT_EQ(w[9], std::make_pair(0x88u, 0u));
}

TEST_F(Hdma, OtherChipsMaskTheLineAndRefuseHighAddresses)
{
	ASSERT_EQ(khost::set_param("crv_platform", "chip_id", "0x7fffffff"), 0);
	load();
	m.policy = Policy::NeverDone;
	ST_HDMA_FILL f = {0, kImvq, 1, 0x40};
	u32 ch;
	khost::clear_journal();
	ASSERT_EQ(HW_HDMA_Fill(&f, 1, 0x1234, 0, &ch), 0);
	for (auto &w : writes())
		EXPECT_NE(w.first, 0x3Cu);
	EXPECT_EQ(r(0x80 + 0x40 * ch), 0x234u);
	f.u64DstAddr = 0x100000000ULL;
	u32 ch2;
	EXPECT_EQ(HW_HDMA_Fill(&f, 0, 0, 0, &ch2), -22);
	EXPECT_EQ(ch2, HDMA_NO_CHANNEL);
	EXPECT_EQ(HW_HDMA_Timeout(ch), -16);
}

TEST_F(Hdma, ATransferRunningPastA4GiBBoundaryIsRefused)
{
	load();
	khost::hw::hdma::install();
	khost::oracle::enable(true);
	khost::oracle::allow(0x1FFFF0000ULL, 0x20000, "a buffer across 4 GiB");
	ST_HDMA_FILL f = {0, 0x1FFFFF000ULL, 1, 0x2000};
	ST_HDMA_COPY c = {0, 0x1FFFFF000ULL, 0x1FFFF0000ULL, 0x2000};
	ST_HDMA_DATA_ADDR d = {0x1FFFFF000ULL, 0x2000};
	u32 ch;
	EXPECT_EQ(HW_HDMA_Fill(&f, 0, 0, 0, &ch), -22);
	EXPECT_EQ(HW_HDMA_Copy(&c, 0, 0, 0, &ch), -22);
	EXPECT_EQ(HW_HDMA_DataAddr(&d, 0, 0, 0, &ch), -22);
	EXPECT_EQ(m.starts, 0);
	khost::oracle::enable(false);
}

TEST_F(Hdma, FifthClaimFailsAndRefusedRecordsClaimNothing)
{
	load();
	m.policy = Policy::NeverDone;
	ST_HDMA_FILL f = {0, kImvq, 1, 0x40};
	u32 ch;
	EXPECT_EQ(HW_HDMA_Fill(nullptr, 0, 0, 0, &ch), -1);
	for (u32 i = 0; i < 4; i++) {
		ASSERT_EQ(HW_HDMA_Fill(&f, 0, 0, 0, &ch), 0);
		EXPECT_EQ(ch, i);
	}
	EXPECT_EQ(HW_HDMA_Fill(&f, 0, 0, 0, &ch), -1);
	EXPECT_EQ(count("Can not get valid channel!\n"), 1u);
	/* Channel 2 finished: a timeout of channel 1 is not its success. */
	khost::set_reg(kBase + 0xA4 + 0x80, 1);
	EXPECT_EQ(HW_HDMA_Timeout(1), -16);
	EXPECT_EQ(r(0xA4 + 0x80), 1u);
	EXPECT_EQ(HW_HDMA_Get_Finish_Status(), 2);
	EXPECT_EQ(HW_HDMA_Timeout(0), -16);
	EXPECT_EQ(HW_HDMA_Timeout(3), -16);
	EXPECT_EQ(HW_HDMA_Timeout(7), -22);
}

TEST_F(Hdma, CrcAndMemoryTestRefuseBadInputAndReportFailures)
{
	load();
	u32 lo = 1, hi = 1;
	khost::clear_journal();
	EXPECT_EQ(HW_HDMA_Compute_CRC(0x1000, 12, &lo, &hi), -1);
	EXPECT_TRUE(writes().empty());
	EXPECT_EQ(lo, 0u);
	khost::set_reg(kBase + 0x214, 4);	/* runs for ever */
	EXPECT_EQ(HW_HDMA_Compute_CRC(0x1000, 64, &lo, &hi), -16);
	khost::set_reg(kBase + 0x214, 2);
	EXPECT_EQ(HW_HDMA_Compute_CRC(0x1000, 64, &lo, &hi), -5);
	ST_HDMA_BIST b = {7, 0, 0, 0, 0, 0};
	EXPECT_EQ(HW_HDMA_Enable_BIST(&b), -22);
	b.u32Mode = 0;
	EXPECT_EQ(HW_HDMA_Enable_BIST(&b), -5);
	EXPECT_EQ(r(0x3C) & 0xF, 0u) << "test select given back";
}

/* ---- blocking and non-blocking transfers ---- */

TEST_F(Hdma, StagedCopyFillAndListLandInTheSram)
{
	load();
	KMem<uint32_t> pat(256);
	for (int i = 0; i < 256; i++)
		pat[i] = 0xAA550000 + i;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, pat.addr(), kImvq, 1024, 0};
	ASSERT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(imvq(0), 0xAA550000u);
	EXPECT_EQ(imvq(255), 0xAA5500FFu);
	t.DMAMode = HDMA_MODE_FILL_DST_INCRE;
	t.FillData = 0x12345678;
	t.Size = 16;
	ASSERT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(imvq(3), 0x12345678u);
	EXPECT_EQ(imvq(4), 0xAA550004u);
	KMem<uint32_t> list(4);
	list[0] = 7;
	list[1] = (uint32_t)kImvq + 40;
	list[2] = 9;
	list[3] = (uint32_t)kImvq + 44;
	t.DMAMode = HDMA_MODE_DATA_ADDR;
	t.SrcAddr = list.addr();
	t.Size = 16;
	ASSERT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(imvq(10), 7u);
	EXPECT_EQ(imvq(11), 9u);
}

TEST_F(Hdma, OracleDecodesEachChannelStartAndEveryListEntry)
{
	load();
	khost::hw::hdma::install();
	khost::oracle::enable(true);
	khost::oracle::allow_allocated(true);	/* the staging buffer */
	khost::oracle::allow(kImvq, 0x2000, "the IMVQ memory");
	KMem<uint32_t> list(4);
	list[0] = 7;
	list[1] = (uint32_t)kImvq + 40;
	list[2] = 9;
	list[3] = 0xFE005AE4;	/* a register bank nobody allowed */
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_DATA_ADDR, 0, 0, list.addr(), kImvq, 16, 0};
	ASSERT_EQ(DRV_HdmaTransfer(&t), 0);
	auto seen = khost::oracle::seen();
	ASSERT_EQ(seen.size(), 3u);	/* the list, then each entry's word */
	EXPECT_EQ(seen[0].size, 16u);
	EXPECT_EQ(seen[1].addr, kImvq + 40);
	ASSERT_EQ(khost::oracle::findings().size(), 1u);
	EXPECT_NE(khost::oracle::findings()[0].find("writes [0xfe005ae4, +0x4)"), std::string::npos);
	khost::oracle::enable(false);
	khost::clear_faults();
}

TEST_F(Hdma, UnsupportedModeFailsThreeTimes)
{
	load();
	ST_HDMA_TRANSFER t = {1, 5, 0, 0, 0, kImvq, 16, 0};
	EXPECT_EQ(DRV_HdmaTransfer(&t), -1);
	EXPECT_EQ(count("Not support DMA Mode = 5\n"), 3u);
	EXPECT_EQ(count("[HDMA] FAIL\n"), 3u);
	EXPECT_EQ(DRV_HdmaTransfer(nullptr), -22);
}

TEST_F(Hdma, SilentEngineIsResetOnEachAttemptAndChannelsComeBack)
{
	load();
	crv_clk_journal_clear();
	m.policy = Policy::NeverDone;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_FILL_DST_INCRE, 0, 0, 0, kImvq, 16, 1};
	EXPECT_EQ(DRV_HdmaTransfer(&t), -16);
	EXPECT_EQ(m.starts, 3);
	auto ev = clocks();
	ASSERT_EQ(ev.size(), 12u);
	const uint32_t order[4][2] = {{70, 1}, {16, 1}, {16, 0}, {70, 0}};
	for (size_t i = 0; i < ev.size(); i++) {
		EXPECT_EQ(ev[i].id, order[i % 4][0]);
		EXPECT_EQ(ev[i].value, order[i % 4][1]);
	}
	m.policy = Policy::NoIrq;	/* finished, interrupt lost */
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(count("[WRN_DRV_HDMA]HDMA done but Irq timeout !!!!!\n"), 1u);
	m.policy = Policy::Normal;
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);
}

TEST_F(Hdma, CompletionLandingBetweenTheTimeoutAndTheStatusReadIsNoFailure)
{
	load();
	crv_clk_journal_clear();
	m.policy = Policy::LateIrq;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_FILL_DST_INCRE, 0, 0, 0, kImvq, 16, 0x42};
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(m.starts, 1) << "a finished transfer is not repeated";
	EXPECT_TRUE(clocks().empty()) << "a finished engine is not reset";
	m.policy = Policy::Normal;
	for (int i = 0; i < 4; i++)	/* every channel is free again */
		EXPECT_EQ(DRV_HdmaTransfer_forQE(&t), 0);
	std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST_F(Hdma, HoldersOfARaisedSemaphoreDoNotShareTheStagingBuffer)
{
	load();
	ASSERT_EQ(_KER_HDMA_SetSemMax(2), 0);
	m.policy = Policy::Slow;
	KMem<uint32_t> a(16), b(16);
	for (int i = 0; i < 16; i++) {
		a[i] = 0xA0000000 + i;
		b[i] = 0xB0000000 + i;
	}
	ST_HDMA_TRANSFER ta = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, a.addr(), kImvq, 64, 0};
	ST_HDMA_TRANSFER tb = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, b.addr(), kImvq + 0x400, 64, 0};
	std::thread first([&] { EXPECT_EQ(DRV_HdmaTransfer(&ta), 0); });
	while (m.starts < 1)
		std::this_thread::sleep_for(std::chrono::microseconds(100));
	EXPECT_EQ(DRV_HdmaTransfer(&tb), 0);
	first.join();
	EXPECT_EQ(imvq(0), 0xA0000000u) << "the first transfer read the second one's data";
	EXPECT_EQ(imvq(0x100), 0xB0000000u);
}

TEST_F(Hdma, KernelMemoryOfEveryKindIsReadAndLargeSourcesAreMappedForTheEngine)
{
	load();
	/* Staged: the stack and vmalloc memory, outside the linear map. */
	uint32_t on_stack[4] = {0x51, 0x52, 0x53, 0x54};
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, (u64)(uintptr_t)on_stack, kImvq, 16, 0};
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(imvq(3), 0x54u);
	auto *v = static_cast<uint32_t *>(vmalloc(16));
	for (int i = 0; i < 4; i++)
		v[i] = 0x61 + i;
	t.SrcAddr = (u64)(uintptr_t)v;
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(imvq(3), 0x64u);
	/* Too large to stage: linear-map memory is mapped for the engine ... */
	KMem<uint32_t> big(10000);
	for (int i = 0; i < 4; i++)
		big[i] = 0x71 + i;
	t.SrcAddr = big.addr();
	t.Size = 40000;
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(imvq(3), 0x74u);
	/* ... and what a device cannot read in one piece is refused, once, with a message. */
	auto *vbig = vmalloc(40000);
	t.SrcAddr = (u64)(uintptr_t)vbig;
	int starts = m.starts;
	EXPECT_EQ(DRV_HdmaTransfer(&t), -22);
	EXPECT_EQ(m.starts, starts);
	EXPECT_EQ(count("is not contiguous for the engine\n"), 1u);
	vfree(vbig);
	vfree(v);
}

TEST_F(Hdma, DirectModeTakesLargeTransfersFromPhysicalMemory)
{
	load();
	phys_addr_t src = khost::phys_alloc(40000);
	for (int i = 0; i < 4; i++)
		static_cast<uint32_t *>(khost::phys_ptr(src))[i] = 0x100 + i;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, src, kImvq, 40000, 0};
	ASSERT_EQ(DRV_HdmaTransfer(&t), 0);
	EXPECT_EQ(count("Not Enough CMA buffer size. force Continous\n"), 1u);
	EXPECT_EQ(imvq(3), 0x103u);
	t.SrcAddr = 0;
	EXPECT_NE(DRV_HdmaTransfer(&t), 0);
}

TEST_F(Hdma, NonBlockingTransferHandsTheEngineToItsWaiter)
{
	load();
	KMem<uint32_t> v(4);
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, v.addr(), kImvq, 16, 0};
	ASSERT_EQ(DRV_HdmaTransfer_forQE(&t), 0);
	t.DMAMode = 5;
	EXPECT_EQ(DRV_HdmaTransfer_forQE(&t), -1);
	t.DMAMode = HDMA_MODE_FILL_DST_INCRE;
	t.FillData = 0x77;
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);	/* waits until the thread lets go */
	EXPECT_EQ(imvq(0), 0x77u);
	/* Let the waiter thread finish returning before the module goes. */
	std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST_F(Hdma, NonBlockingTransferIsDoneWithALargeSourceWhenItReturns)
{
	load();
	m.policy = Policy::Slow;
	/* Linear-map memory the engine reaches in place, not through a bounce. */
	struct page *pg = alloc_pages(GFP_KERNEL | GFP_DMA32, get_order(40000));
	auto *word = static_cast<uint32_t *>(page_address(pg));
	*word = 0x11;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, (u64)(uintptr_t)word, kImvq, 40000, 0};
	ASSERT_EQ(DRV_HdmaTransfer_forQE(&t), 0);
	*word = 0x22;	/* the caller's own memory again */
	ST_HDMA_TRANSFER after = {1, HDMA_MODE_FILL_DST_FIXED, 0, 0, 0, kImvq + 0x1000, 4, 0};
	EXPECT_EQ(DRV_HdmaTransfer(&after), 0);	/* once the engine is free */
	EXPECT_EQ(imvq(0), 0x11u);
	__free_pages(pg, get_order(40000));
}

/* A physical source stays its owner's until the end: the waiter waits, not the caller. */
TEST_F(Hdma, NonBlockingTransferOfAPhysicalSourceReturnsAtOnce)
{
	load();
	m.policy = Policy::NeverDone;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 1, 2050, khost::phys_alloc(40000), kImvq, 40000, 0};
	EXPECT_EQ(DRV_HdmaTransfer_forQE(&t), 0);
}

TEST_F(Hdma, NonBlockingTransferWithoutAThreadAnswersWhatTheTransferDid)
{
	load();
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_FILL_DST_INCRE, 0, 0, 0, kImvq, 16, 0x99};
	khost::fail_next_kthread(-ENOMEM);
	EXPECT_EQ(DRV_HdmaTransfer_forQE(&t), 0);
	EXPECT_EQ(imvq(3), 0x99u);
	m.policy = Policy::NeverDone;
	khost::fail_next_kthread(-ENOMEM);
	EXPECT_EQ(DRV_HdmaTransfer_forQE(&t), -16);
}

TEST_F(Hdma, GatesBeforeStartUpAndWhileSuspended)
{
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_FILL_DST_INCRE, 0, 0, 0, kImvq, 16, 0};
	EXPECT_EQ(DRV_HdmaTransfer(&t), 22);
	EXPECT_EQ(DRV_HdmaTransfer_forQE(&t), 22);
	load();
	ASSERT_EQ(khost::system_suspend(), 0);
	EXPECT_EQ(DRV_HdmaTransfer(&t), -4);
	EXPECT_EQ(DRV_HdmaTransfer_forQE(&t), -4);
	ASSERT_EQ(khost::system_resume(), 0);
	EXPECT_EQ(DRV_HdmaTransfer(&t), 0);
}

/* ---- device file ---- */

TEST_F(Hdma, IoctlsReadTheStagingBufferAndRefuseTransfers)
{
	khost::phys_alloc(4096);	/* the buffer's low address bits are not 0 */
	load();
	struct file *f = khost::open("crkhdma");
	ASSERT_NE(f, nullptr);
	uint32_t v = 0;
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_READ_CMA_WORD, (unsigned long)&v), -14) << "no buffer yet";
	int err = 0;
	EXPECT_EQ(khost::mmap(f, 4096, 0, &err), nullptr);
	EXPECT_EQ(err, -22);
	KMem<uint32_t> pat(8192);
	pat[8191] = 0xFEEDBEEF;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, pat.addr(), kImvq, 32768, 0};
	ASSERT_EQ(DRV_HdmaTransfer(&t), 0);
	khost::clear_journal();
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_COPY, 0), 0);
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_FILL, 0xFFFFFFFF), 0);
	EXPECT_TRUE(writes().empty());
	EXPECT_EQ(count("Using ioctl directly is not allowed."), 1u);
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_GET_CMA_PADDR, (unsigned long)&v), 0);
	EXPECT_NE(v, 0u);
	v = 8191;
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_READ_CMA_WORD, (unsigned long)&v), 0);
	EXPECT_EQ(v, 0xFEEDBEEFu);
	v = 8192;
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_READ_CMA_WORD, (unsigned long)&v), -14);
	EXPECT_EQ(count("Require address is out of memory \n"), 1u);
	v = 0x40000000;
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_READ_CMA_WORD, (unsigned long)&v), -14);
	EXPECT_EQ(count("Require address is out of memory \n"), 1u);
	EXPECT_EQ(khost::ioctl(f, _IO(KHDMA_IO_TYPE, 6), 0), -22);
	EXPECT_EQ(count("HDMA ioctl command error (6)! Only allow COPY_PHYS_TO_PHYS & FILL_PHYS\n"), 1u);
	for (int i = 0; i < 50; i++) {	/* a caller looping on them does not flood the log */
		v = 8192;
		khost::ioctl(f, KHDMA_IO_READ_CMA_WORD, (unsigned long)&v);
		khost::ioctl(f, KHDMA_IO_COPY, 0);
		khost::ioctl(f, _IO(KHDMA_IO_TYPE, 6), 0);
	}
	for (const char *line : {"Require address is out of memory \n", "Using ioctl directly is not allowed.",
				 "HDMA ioctl command error (6)!"})
		EXPECT_LE(count(line), 10u) << line;
	khost::fail_user_copy_after(0);
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_GET_CMA_PADDR, (unsigned long)&v), -14);
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_SELF_TEST, (unsigned long)&v), -14);
	khost::fail_user_copy_after(-1);
	auto *cv = static_cast<uint32_t *>(khost::compat_alloc(4));
	*cv = 8191;
	EXPECT_EQ(khost::compat_ioctl(f, KHDMA_IO_READ_CMA_WORD, (unsigned long)cv), 0);
	EXPECT_EQ(*cv, 0xFEEDBEEFu);
	EXPECT_EQ(khost::mmap(f, 4 * 4096, 5, &err), nullptr);
	EXPECT_EQ(err, -22);
	void *p = khost::mmap(f, 8 * 4096, 0, &err);
	ASSERT_NE(p, nullptr);
	EXPECT_EQ(static_cast<uint32_t *>(p)[8191], 0xFEEDBEEFu);
	khost::close(f);
}

TEST_F(Hdma, UnprivilegedOpenersNeitherRunSelfTestsNorWriteTheStagingBuffer)
{
	load();
	KMem<uint32_t> pat(1024);
	pat[5] = 0x5A5A5A5A;
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_COPY_DST_INCRE, 0, 0, pat.addr(), kImvq, 4096, 0};
	ASSERT_EQ(DRV_HdmaTransfer(&t), 0);	/* the staging buffer exists from now on */
	khost::set_caps(0);
	struct file *f = khost::open("crkhdma");
	ASSERT_NE(f, nullptr);
	uint32_t v = 1;
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_SELF_TEST, (unsigned long)&v), -EPERM);
	EXPECT_EQ(khost::compat_ioctl(f, KHDMA_IO_SELF_TEST, (unsigned long)&v), -EPERM);
	EXPECT_EQ(m.starts, 1);
	int err = 0;
	EXPECT_EQ(khost::mmap(f, 4096, 0, &err), nullptr);
	EXPECT_EQ(err, -EPERM);
	khost::clear_mappings();
	auto *p = static_cast<uint32_t *>(khost::mmap(f, 4096, 0, &err, false));
	ASSERT_NE(p, nullptr);
	EXPECT_EQ(p[5], 0x5A5A5A5Au);
	auto maps = khost::mappings();
	ASSERT_EQ(maps.size(), 1u);
	EXPECT_FALSE(maps[0].vm_flags & (VM_MAYWRITE | VM_EXEC)) << "no write through mprotect either";
	/* Mapped as the DMA layer maps the buffer for this device, not as device memory. */
	EXPECT_EQ(maps[0].prot, pgprot_val(pgprot_dmacoherent(__pgprot(0))));
	khost::close(f);
	khost::set_caps(khost::cap_bit(CAP_SYS_RAWIO) | khost::cap_bit(CAP_SYS_ADMIN));
	f = khost::open("crkhdma");
	EXPECT_NE(khost::mmap(f, 4096, 0, &err), nullptr);
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_SELF_TEST, (unsigned long)&v), 0);
	khost::close(f);
}

TEST_F(Hdma, SelfTestsRunThroughTheIoctl)
{
	load();
	struct file *f = khost::open("crkhdma");
	ASSERT_NE(f, nullptr);
	for (uint32_t test : {1u, 3u, 4u, 2u}) {
		uint32_t v = test;
		EXPECT_EQ(khost::ioctl(f, KHDMA_IO_SELF_TEST, (unsigned long)&v), 0) << "test " << test;
	}
	EXPECT_EQ(count("Test Src fixed, Dst incre (Fill Data -> IMVQ SRAM) success! Run count: 0x0\n"), 1u);
	EXPECT_EQ(khost::reg(0xFD110820), 0u) << "control word given back";
	uint32_t v = 9;
	EXPECT_EQ(khost::ioctl(f, KHDMA_IO_SELF_TEST, (unsigned long)&v), -22);
	khost::close(f);
}

/* ---- power and menu ---- */

TEST_F(Hdma, SuspendSnapshotsChannelsAndResumeUngatesBeforeRestoring)
{
	load();
	khost::set_reg(kBase + 0x90 + 0x40, 0x1234);
	khost::set_reg(kBase + 0x88 + 0xC0, 0x100);
	crv_clk_journal_clear();
	ASSERT_EQ(khost::system_suspend(), 0);
	khost::set_reg(kBase + 0x90 + 0x40, 0);
	khost::set_reg(kBase + 0x88 + 0xC0, 0);
	ASSERT_EQ(khost::system_resume(), 0);
	EXPECT_EQ(r(0x90 + 0x40), 0x1234u);
	EXPECT_EQ(r(0x88 + 0xC0), 0x100u);
	auto ev = clocks();
	ASSERT_EQ(ev.size(), 4u);
	EXPECT_EQ(ev[0].id, 0x8844u);
	EXPECT_EQ(ev[1].id, 0x8044u);
	EXPECT_EQ(ev[2].id, 0x8044u);
	EXPECT_EQ(ev[2].value, 1u);
	EXPECT_EQ(ev[3].id, 0x8844u);
	type("DRV_HDMA\nTest Suspend/Resume\n0\nTest Suspend/Resume\n0\n");
	EXPECT_EQ(count("[WRN_DRV_HDMA]_ker_hdma_suspend_p:Suspend twice or not resume yet.\n"), 1u);
	type("Test Suspend/Resume\n1\nTest Suspend/Resume\n1\n");
	EXPECT_EQ(count("[WRN_DRV_HDMA]_ker_hdma_resume_p:Not suspend before resume.\n"), 1u);
}

TEST_F(Hdma, DebugMenuRunsSelfTestsAndSettings)
{
	load();
	type("DRV_HDMA\nTest Src fixed, Dst incre (Fill Data -> IMVQ SRAM)\n0\n2\n");
	EXPECT_EQ(count("success! Run count: 0x1\n"), 1u);
	type("Set Sem Max\n0\n");
	EXPECT_EQ(count("reinit!"), 0u);
	type("Set Sem Max\n2\n");
	EXPECT_EQ(count("Semaphore max = 2 reinit!\n"), 1u);
	type("Set Dbg Mask\n3\n");
	EXPECT_EQ(count("g_HDMADbgMask = 15\n"), 1u);
}

TEST_F(Hdma, UnloadStopsTheMenuTestThreadsBeforeUnmappingTheirWindows)
{
	khost::set_time_scale(100);
	load();
	m.policy = Policy::NeverDone;	/* every test transfer times out: the threads run long */
	type("DRV_HDMA\nStart thread (Data ADDR to PQ)\n");
	ASSERT_EQ(khost::unload_module("vyr_gfx"), 0);
	loaded = false;
	for (auto &f : khost::faults())
		ADD_FAILURE() << f;
	khost::clear_faults();
}

class HdmaNoNode : public Hdma {
protected:
	void SetUp() override
	{
		no_node = true;
		Hdma::SetUp();
	}
};

TEST_F(HdmaNoNode, StartUpWithoutItsNodeLeavesNothingBehind)
{
	khost::clear_journal();
	load();
	/* Without its node there may be no block behind the window either. */
	for (const auto &a : khost::journal(true))
		EXPECT_FALSE(a.addr >= kBase && a.addr < kBase + 0x300) << std::hex << a.addr;
	EXPECT_EQ(count(">>>error node not found\n"), 1u);
	EXPECT_EQ(count("can't request IRQ for crkhdma\n"), 1u);
	EXPECT_EQ(khost::open("crkhdma"), nullptr);
	ST_HDMA_TRANSFER t = {1, HDMA_MODE_FILL_DST_INCRE, 0, 0, 0, kImvq, 16, 0};
	EXPECT_EQ(DRV_HdmaTransfer(&t), 22);
}

} // namespace
