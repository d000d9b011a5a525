// DispAge: register programming of both operations, the run and its wait,
// the engine lent to other modules, the device's read, ioctl and mmap,
// power hooks, the debug menu, and loading and unloading cleanly.
#include "khost/gtest.hpp"
#include "khost/hw/dispage.hpp"
#include "khost/oracle.hpp"

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "uapi/vyr_dispage.h"

extern "C" {
#include "crv_platform.h"
#include "crv_platform_internal.h"
int KDispAge_OP_Fill(ST_KDISPAGE_PLANE *dst, u32 color);
int KDispAge_OP_FormatTransform(ST_KDISPAGE_PLANE *src, ST_KDISPAGE_PLANE *dst);
int KDispAge_lend_request(int (*use)(void *), void *arg);
int KDispAge_share_irq(int (*use)(void *), void *arg);
extern unsigned int g_DispAgeDbgMask;
extern unsigned int g_DispAgeOpDbgMask;
struct task_struct *khost_current(void);
unsigned long khost_jiffies(void);
}

namespace {

constexpr phys_addr_t kRegs = 0xFC058200;
constexpr phys_addr_t kSecure = 0xFC3A0000;
constexpr phys_addr_t kLpae = 0xFD650188;
constexpr unsigned kIrq = 72;	/* SPI 40 */
constexpr u32 kChipQ2 = 0x51323030;

/* How the engine answers a start. */
enum class Engine { Irq, StatusOnly, Silent, ErrorIrq, Corrupt };

struct Model {
	Engine mode = Engine::Irq;
	int starts = 0;
};
Model model;

u32 r(u32 off) { return khost::reg(kRegs + off); }
u32 sr(u32 off) { return khost::reg(kSecure + off); }

/* The engine's work for 32-bit formats: fill, or copy (identity matrix). */
void run_engine()
{
	u32 size = r(0x28), w = size >> 16, h = size & 0xFFFF;
	u32 dstride = (r(0x40) >> 16) * 8, sstride = (r(0x3C) >> 16) * 8;
	u32 lpae = khost::reg(kLpae);
	u64 dst = sr(0x50) | (u64)(lpae & 3) << 32;
	u64 src = sr(0x48) | (u64)((lpae >> 4) & 3) << 32;
	bool fill = (r(0x00) >> 28) == 5;
	for (u32 y = 0; y < h; y++) {
		auto *d = static_cast<u32 *>(khost::phys_ptr(dst + (u64)y * dstride));
		auto *s = fill ? nullptr : static_cast<u32 *>(khost::phys_ptr(src + (u64)y * sstride));
		if (!d || (!fill && !s))
			return;
		for (u32 x = 0; x < w; x++)
			d[x] = fill ? r(0x20) : s[x];
	}
	if (model.mode == Engine::Corrupt)
		*static_cast<u32 *>(khost::phys_ptr(dst + dstride + 8)) ^= 1;
}

void install_model()
{
	/* Status bits are cleared by writing ones. */
	khost::on_write(kRegs + 0xB0, [](phys_addr_t a, uint64_t v, uint64_t &stored) {
		stored = khost::reg(a) & ~(u32)v;
	});
	khost::on_write(kRegs + 0x00, [](phys_addr_t, uint64_t v, uint64_t &stored) {
		if (!(v & 1))
			return;
		stored = v & ~1ull;
		model.starts++;
		if (model.mode == Engine::Silent)
			return;
		khost::set_reg(kRegs + 0x00, (u32)stored);
		run_engine();
		u32 st = 0x1000 | (model.mode == Engine::ErrorIrq ? 0x00010000 : 0);
		khost::set_reg(kRegs + 0xB0, khost::reg(kRegs + 0xB0) | st);
		if (model.mode != Engine::StatusOnly)
			khost::raise_irq(kIrq);
	});
}

ST_KDISPAGE_PLANE plane(u8 fmt, u64 addr, u32 stride, u16 w, u16 h)
{
	ST_KDISPAGE_PLANE p{};
	p.FormatMode = fmt;
	p.Buf_Address[0] = addr;
	p.Buf_Stride[0] = stride;
	p.Width = w;
	p.Height = h;
	return p;
}

std::vector<std::pair<phys_addr_t, u32>> writes()
{
	std::vector<std::pair<phys_addr_t, u32>> out;
	for (auto &a : khost::journal())
		if (a.write)
			out.emplace_back(a.addr, (u32)a.value);
	return out;
}

bool logged(const std::string &text) { return khost::log().find(text) != std::string::npos; }

/* A kernel thread running one call, kept until stopped (so it can be reaped). */
struct KRun {
	std::function<int()> fn;
	std::atomic<int> ret{99};
	std::atomic<bool> done{false};
	struct task_struct *task = nullptr;
};
int krun_fn(void *p)
{
	auto *k = static_cast<KRun *>(p);
	k->ret = k->fn();
	k->done = true;
	while (!kthread_should_stop())
		msleep(1);
	return 0;
}
void krun_start(KRun &k)
{
	k.task = kthread_create_on_node(krun_fn, &k, -1, "dispage-test");
	wake_up_process(k.task);
}
int krun_finish(KRun &k)
{
	kthread_stop(k.task);
	return k.ret;
}

class DispAge : public khost::KernelTest {
protected:
	u32 chip = kChipQ2;
	bool with_node = true;

	void SetUp() override { model = Model(); }
	void boot()
	{
		khost::add_regs(kRegs, 512);
		khost::add_regs(kSecure, 512);
		khost::add_regs(0xFC05F000, 512);
		khost::add_regs(0xFC058400, 512);
		khost::add_regs(kLpae, 512);
		khost::add_regs(0xFD650000, 0x100);
		khost::set_reg(kRegs + 0x140, 0x01020000);
		if (with_node) {
			auto *n = khost::dt_node(nullptr, "crkdispage");
			khost::dt_prop(n, "interrupts", {0, 40, 4});
		}
		install_model();
		ASSERT_EQ(khost::set_param("crv_platform", "chip_id", std::to_string(chip).c_str()), 0);
		ASSERT_EQ(khost::load_module("crv_platform"), 0);
		ASSERT_EQ(khost::load_module("vyr_gfx"), 0);
		khost::clear_journal();
	}
	void TearDown() override
	{
		EXPECT_EQ(khost::unload_module("vyr_gfx"), 0);
		EXPECT_EQ(khost::unload_module("crv_platform"), 0);
		khost::KernelTest::TearDown();
	}
	/* A buffer in simulated physical memory. */
	phys_addr_t buffer(size_t size)
	{
		phys_addr_t p = khost::phys_alloc(size);
		memset(khost::phys_ptr(p), 0, size);
		return p;
	}
	void type(const std::string &lines)
	{
		ASSERT_EQ(khost::debugfs_write("crv_platform/menu", lines), 0);
		crv_dbg_wait_idle();
	}
};

/* ---- start-up and teardown ---- */

TEST_F(DispAge, StartsWithDeviceInterruptHooksAndMenuAndStopsWithoutTrace)
{
	boot();
	auto *f = khost::open("crkdispage");
	ASSERT_NE(f, nullptr);
	khost::close(f);
	EXPECT_EQ(crv_pmi_hook_count(), 1u);
	EXPECT_NE(khost::debugfs_read("crv_platform/menu").find("Ker_DispAge"), std::string::npos);
	EXPECT_TRUE(logged("[DBG_DRV_GPU]KER_DispAge_DrvInit() end \n"));
	/* TearDown unloads: no mapping, interrupt, device or class may remain. */
}

TEST_F(DispAge, WithoutItsDeviceTreeNodeTheModuleLoadsAndNothingRuns)
{
	with_node = false;
	boot();
	EXPECT_TRUE(logged("crkdispage node not found !!!!\n"));
	EXPECT_EQ(khost::open("crkdispage"), nullptr);
	ST_KDISPAGE_PLANE p = plane(3, 0x10000000, 64, 4, 4);
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), -1);
	EXPECT_LT(KDispAge_lend_request(nullptr, nullptr), 0);
	EXPECT_LT(KDispAge_share_irq(nullptr, nullptr), 0);
	EXPECT_EQ(model.starts, 0);
}

TEST_F(DispAge, AnotherEngineBehindTheWindowIsNotDriven)
{
	khost::set_reg(kRegs + 0x140, 0x01010000);
	khost::add_regs(kRegs, 512);
	khost::on_read(kRegs + 0x140, [](phys_addr_t, uint64_t) -> uint64_t { return 0x01010000; });
	boot();
	EXPECT_TRUE(logged("Initial DispAge Op Fail !!!!!!\n"));
	EXPECT_EQ(khost::open("crkdispage"), nullptr);
	ST_KDISPAGE_PLANE p = plane(3, 0x10000000, 64, 4, 4);
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), -1);
}

/* ---- register programming ---- */

TEST_F(DispAge, FillProgramsTheRegistersInOrderAndEndsOnTheInterrupt)
{
	boot();
	phys_addr_t buf = buffer(8 * 128);
	ST_KDISPAGE_PLANE p = plane(3, buf, 128, 16, 8);
	p.ClipX = 2;
	p.ClipY = 1;
	p.Aux0 = 3;
	EXPECT_EQ(KDispAge_OP_Fill(&p, 0x11223344), 0);
	const u32 lo = (u32)buf, hi = (u32)(buf >> 32) & 3;
	const std::vector<std::pair<phys_addr_t, u32>> expected = {
		{kRegs + 0x00, 0x50000000}, {kRegs + 0x04, 3 << 16}, {kRegs + 0x08, 0},
		{kRegs + 0x20, 0x11223344}, {kRegs + 0x28, (16 << 16) | 8}, {kRegs + 0x3C, 0},
		{kRegs + 0x40, 16 << 16}, {kRegs + 0x44, 0x80000000 | (2 << 16) | 1},
		{kSecure + 0x48, 0}, {kSecure + 0x4C, 0}, {kSecure + 0x50, lo}, {kSecure + 0x54, 0},
		{kSecure + 0x6C, 0}, {kSecure + 0x70, 0}, {kLpae, hi}, {kRegs + 0x68, 3u << 24},
		{kRegs + 0x74, 0}, {kRegs + 0x84, 0}, {kRegs + 0xAC, 0x780111FF}, {kRegs + 0xB0, 0x1000},
		/* the driver's start, the handler's interrupt-enable clear */
		{kRegs + 0x00, 0x50000001}, {kRegs + 0xAC, 0},
		/* status cleared and interrupts off after the run */
		{kRegs + 0xB0, 0xFFFFFFFF}, {kRegs + 0xAC, 0},
	};
	EXPECT_EQ(writes(), expected);
	auto *px = static_cast<u32 *>(khost::phys_ptr(buf + 128 + 4 * 15));
	EXPECT_EQ(*px, 0x11223344u);
}

TEST_F(DispAge, WithoutTheHighAddressRegisterAddressesAbove4GiBAreRefused)
{
	chip = 0x51343030;
	boot();
	ST_KDISPAGE_PLANE p = plane(3, 0x20000000, 64, 4, 4);
	EXPECT_EQ(KDispAge_OP_Fill(&p, 7), 0);
	for (auto &w : writes())
		EXPECT_NE(w.first, kLpae);
	khost::clear_journal();
	p.Buf_Address[0] = 0x120000000ull;
	EXPECT_EQ(KDispAge_OP_Fill(&p, 7), -14);
	EXPECT_TRUE(writes().empty());
}

TEST_F(DispAge, ARectangleRunningPastTheAddressSpaceIsRefused)
{
	chip = 0x51343030;	/* no LPAE register: 32 address bits */
	boot();
	ST_KDISPAGE_PLANE p = plane(3, 0xFFFFF000, 4096, 4, 4);	/* rows 1-3 past 4 GiB */
	EXPECT_EQ(KDispAge_OP_Fill(&p, 7), -14);
	EXPECT_TRUE(writes().empty());
	p.Height = 1;
	EXPECT_EQ(KDispAge_OP_Fill(&p, 7), 0);
}

TEST_F(DispAge, OracleDecodesEachStartPlaneByPlane)
{
	boot();
	khost::hw::dispage::install();
	khost::oracle::enable(true);
	phys_addr_t src = buffer(16 * 128), dst = buffer(16 * 128);
	khost::oracle::allow(dst, 16 * 128, "the caller's picture");
	ST_KDISPAGE_PLANE d = plane(3, dst, 128, 16, 8);
	d.ClipX = 2;
	d.ClipY = 1;
	EXPECT_EQ(KDispAge_OP_Fill(&d, 1), 0);
	auto seen = khost::oracle::seen();
	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0].addr, dst);
	EXPECT_EQ(seen[0].size, 8u * 128 + 18 * 4);
	EXPECT_TRUE(khost::oracle::findings().empty());
	ST_KDISPAGE_PLANE s = plane(3, src, 128, 16, 8);
	d.ClipX = d.ClipY = 0;
	EXPECT_EQ(KDispAge_OP_FormatTransform(&s, &d), 0);	/* reads a picture nobody allowed */
	ASSERT_EQ(khost::oracle::findings().size(), 1u);
	EXPECT_NE(khost::oracle::findings()[0].find("source plane 0"), std::string::npos);
	khost::oracle::enable(false);
	khost::clear_faults();
}

TEST_F(DispAge, RefusalsHappenBeforeTheLockAndTouchNoRegister)
{
	boot();
	struct Case {
		const char *what;
		ST_KDISPAGE_PLANE src, dst;
		bool fill;
		int result;
	};
	auto p = [](u8 fmt) { return plane(fmt, 0x10000000, 104, 8, 8); };
	std::vector<Case> cases;
	{ Case c{"stride 100", {}, p(3), true, -22}; c.dst.Buf_Stride[0] = 100; cases.push_back(c); }
	{ Case c{"width 0", {}, p(3), true, -33}; c.dst.Width = 0; cases.push_back(c); }
	{ Case c{"fill YUV400", {}, p(26), true, -8}; cases.push_back(c); }
	{ Case c{"no address", {}, p(3), true, -14}; c.dst.Buf_Address[0] = 0; cases.push_back(c); }
	{ Case c{"stride 512 KiB", {}, p(3), true, -22}; c.dst.Buf_Stride[0] = 0x80000; cases.push_back(c); }
	{ Case c{"no chroma address", {}, p(15), true, -14}; cases.push_back(c); }
	{ Case c{"YUV400 destination", p(3), p(26), false, -8}; cases.push_back(c); }
	{ Case c{"separate YUV888", p(14), p(3), false, -14}; c.src.SeparateUV = 1; cases.push_back(c); }
	{
		Case c{"separate strides differ", p(15), p(3), false, -14};
		c.src.SeparateUV = 1;
		c.src.Buf_Address[1] = 0x10010000;
		c.src.Buf_Address[2] = 0x10020000;
		c.src.Buf_Stride[1] = 56;
		c.src.Buf_Stride[2] = 48;
		cases.push_back(c);
	}
	{ Case c{"channel order 7", p(15), p(20), false, -22}; c.src.Buf_Address[1] = 0x10010000; c.dst.RgbOrder = 7; cases.push_back(c); }
	{ Case c{"chroma in another 4 GiB", p(15), p(3), false, -14}; c.src.Buf_Address[1] = 0x110010000ull; cases.push_back(c); }
	/* Separate planes are a transform's register bit, and only 1 sets it. */
	auto sep = [&](u8 s) {
		ST_KDISPAGE_PLANE q = p(15);
		q.SeparateUV = s;
		q.Buf_Address[1] = 0x10010000;
		q.Buf_Address[2] = 0x10020000;
		q.Buf_Stride[1] = q.Buf_Stride[2] = 56;
		return q;
	};
	cases.push_back({"fill of separate planes", {}, sep(1), true, -22});
	cases.push_back({"SeparateUV 2", sep(2), p(3), false, -22});
	for (auto &c : cases) {
		khost::clear_journal();
		int ret = c.fill ? KDispAge_OP_Fill(&c.dst, 0) : KDispAge_OP_FormatTransform(&c.src, &c.dst);
		EXPECT_EQ(ret, c.result) << c.what;
		EXPECT_TRUE(writes().empty()) << c.what;
	}
	EXPECT_EQ(KDispAge_OP_FormatTransform(nullptr, &cases[0].dst), -22);
	EXPECT_TRUE(logged("Src format = 14, but Separate UV only support format 15, 16, 17, 18\n"));
	EXPECT_EQ(model.starts, 0);
}

/* Matrix words: [0x74, 0x78, 0x7C, 0x80, 0x88] and offsets [0x8C, 0x90, 0x98]. */
u32 coef(int c) { return c < 0 ? ((u32)-c & 0x3FF) | 0x400 : (u32)c; }
u32 offs(int o) { return o < 0 ? ((u32)-o & 0x1FFFF) | 0x20000 : (u32)o; }
void expect_matrix(const int m[3][4], const int rows[3], bool enabled)
{
	int k[9];
	int off[3];
	for (int i = 0; i < 3; i++) {
		for (int j = 0; j < 3; j++)
			k[rows[i] * 3 + j] = m[i][j];
		off[rows[i]] = m[i][3];
	}
	EXPECT_EQ(r(0x74), (enabled ? 1u << 28 : 0) | coef(k[0]) << 16 | coef(k[1]));
	EXPECT_EQ(r(0x78), coef(k[2]) << 16 | coef(k[3]));
	EXPECT_EQ(r(0x7C), coef(k[4]) << 16 | coef(k[5]));
	EXPECT_EQ(r(0x80), coef(k[6]) << 16 | coef(k[7]));
	EXPECT_EQ(r(0x88) & 0x07FF0000, coef(k[8]) << 16);
	EXPECT_EQ(r(0x8C), offs(off[0]));
	EXPECT_EQ(r(0x90), offs(off[1]));
	EXPECT_EQ(r(0x98), offs(off[2]));
}

TEST_F(DispAge, TransformsProgramTheColourMatrixForTheirFormats)
{
	boot();
	phys_addr_t a = buffer(4096), b = buffer(4096);
	ST_KDISPAGE_PLANE src = plane(3, a, 64, 8, 8), dst = plane(18, b, 64, 8, 8);
	dst.Buf_Address[1] = b + 2048;
	dst.Buf_Stride[1] = 128;
	src.ColorStd = 1;
	khost::set_reg(kRegs + 0x88, 0x5);	/* the low half of 0x88 is not the matrix's */
	ASSERT_EQ(KDispAge_OP_FormatTransform(&src, &dst), 0);
	const int bt709[3][4] = {{47, 157, 16, 4224}, {-26, -86, 112, 32896}, {112, -102, -10, 32896}};
	const int straight[3] = {0, 1, 2};
	expect_matrix(bt709, straight, true);
	EXPECT_EQ(r(0x88) & 0x7FF, 0x5u);
	EXPECT_EQ(r(0x04), (3u << 24) | (18u << 16));
	EXPECT_EQ(r(0x08), 1u << 16);
	EXPECT_EQ(r(0x40), (8u << 16) | 16u);

	/* YUV420 to BGR888, order 5: R row in matrix row 2, B row in row 0. */
	src = plane(15, a, 64, 8, 8);
	src.Buf_Address[1] = a + 1024;
	src.Buf_Stride[1] = 64;
	dst = plane(20, b, 64, 8, 8);
	dst.RgbOrder = 5;
	ASSERT_EQ(KDispAge_OP_FormatTransform(&src, &dst), 0);
	const int yuv601[3][4] = {{298, 0, 409, -56992}, {298, -100, -208, 34784}, {298, 517, 0, -70816}};
	const int order5[3] = {2, 1, 0};
	expect_matrix(yuv601, order5, true);
	EXPECT_EQ(r(0x98), 56992u | 0x20000);

	/* Same order: matrix off; order 2: R and G swapped. */
	src = plane(3, a, 64, 8, 8);
	dst = plane(3, b, 64, 8, 8);
	ASSERT_EQ(KDispAge_OP_FormatTransform(&src, &dst), 0);
	EXPECT_EQ(r(0x74) & (1u << 28), 0u);
	dst.RgbOrder = 2;
	ASSERT_EQ(KDispAge_OP_FormatTransform(&src, &dst), 0);
	const int ident[3][4] = {{256 & 0x3FF, 0, 0, 0}, {0, 256, 0, 0}, {0, 0, 256, 0}};
	const int order2[3] = {1, 0, 2};
	expect_matrix(ident, order2, true);
}

TEST_F(DispAge, SeparatePlanesWriteTheThirdAddressesAndTheHighBitsOfBoth)
{
	boot();
	phys_addr_t a = buffer(8192), b = buffer(8192);
	ST_KDISPAGE_PLANE src = plane(16, a, 64, 8, 8), dst = plane(3, b, 64, 8, 8);
	src.SeparateUV = 1;
	src.Buf_Address[1] = a + 1024;
	src.Buf_Address[2] = a + 2048;
	src.Buf_Stride[1] = src.Buf_Stride[2] = 32;
	ASSERT_EQ(KDispAge_OP_FormatTransform(&src, &dst), 0);
	EXPECT_EQ(sr(0x70), (u32)(a + 2048));
	EXPECT_EQ(sr(0x6C), 0u);
	EXPECT_EQ(khost::reg(kLpae), (u32)(((a >> 32) & 3) << 4 | ((b >> 32) & 3)));
	EXPECT_EQ(r(0x3C), (8u << 16) | 4u);
	EXPECT_EQ(r(0x08), 1u << 31);
}

/* ---- runs and waits ---- */

TEST_F(DispAge, ARunEndsOnItsInterruptOrTheDoneBitOrTheRunLimit)
{
	boot();
	phys_addr_t buf = buffer(4096);
	ST_KDISPAGE_PLANE p = plane(3, buf, 64, 4, 4);

	khost::set_time_scale(10);	/* one slice against the limit, on a loaded host too */
	model.mode = Engine::StatusOnly;
	unsigned long t0 = khost_jiffies();
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), 1);
	unsigned long took = khost_jiffies() - t0;
	EXPECT_GE(took, 25u);
	EXPECT_LT(took, 400u);	/* well before the run limit */

	model.mode = Engine::Silent;
	t0 = khost_jiffies();
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), -16);
	EXPECT_GE(khost_jiffies() - t0, 500u);
	EXPECT_TRUE(logged("KDispAge_Read_Interrupt_Count() No Interrupt Timeout!!!\n"));

	/* An error status after a normal interrupt is a failure too. */
	model.mode = Engine::ErrorIrq;
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), -1);
	EXPECT_TRUE(logged("fail : InterruptStatus = 11000, StatusFeedback = 0\n"));

	model.mode = Engine::Irq;
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), 0);
}

TEST_F(DispAge, AStaleCompletionIsDroppedBeforeTheNextRun)
{
	boot();
	khost::raise_irq(kIrq);	/* a stray interrupt while idle */
	model.mode = Engine::StatusOnly;
	g_DispAgeDbgMask = 0x9;
	phys_addr_t buf = buffer(4096);
	ST_KDISPAGE_PLANE p = plane(3, buf, 64, 4, 4);
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), 1);
	EXPECT_TRUE(logged("completion_done() == 0 \n"));
	g_DispAgeDbgMask = 1;
}

TEST_F(DispAge, ASignalEndsTheWaitAndTheLockIsGivenBack)
{
	boot();
	model.mode = Engine::Silent;
	phys_addr_t buf = buffer(4096);
	ST_KDISPAGE_PLANE p = plane(3, buf, 64, 4, 4);
	khost::set_signal_pending(khost_current(), true);
	EXPECT_EQ(KDispAge_share_irq([](void *) { return 0; }, nullptr), -512);
	khost::set_signal_pending(khost_current(), false);
	model.mode = Engine::Irq;
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), 0);
}

/* ---- the engine lent to other modules ---- */

int program_fill(void *arg)
{
	auto *buf = static_cast<phys_addr_t *>(arg);
	khost::set_reg(kRegs + 0x28, (4 << 16) | 4);
	khost::set_reg(kRegs + 0x20, 0xCAFE);
	khost::set_reg(kRegs + 0x40, 8 << 16);
	khost::set_reg(kSecure + 0x50, (u32)*buf);
	khost::set_reg(kLpae, (u32)(*buf >> 32) & 3);
	khost::set_reg(kRegs + 0x00, 0x50000000);
	/* the borrower starts the engine through its own mapping */
	khost::set_reg(kRegs + 0xAC, 0x780111FF);
	model.starts++;
	run_engine();
	khost::set_reg(kRegs + 0xB0, 0x1000 | (model.mode == Engine::ErrorIrq ? 0x00010000 : 0));
	khost::raise_irq(kIrq);
	return 0;
}

TEST_F(DispAge, BorrowersRunUnderTheLockAndTheStatusIsJudgedForThem)
{
	boot();
	phys_addr_t buf = buffer(4096);
	EXPECT_EQ(KDispAge_lend_request(program_fill, &buf), 0);
	EXPECT_EQ(*static_cast<u32 *>(khost::phys_ptr(buf + 64 + 12)), 0xCAFEu);
	EXPECT_EQ(r(0xB0), 0u);

	model.mode = Engine::ErrorIrq;
	EXPECT_EQ(KDispAge_lend_request(program_fill, &buf), -1);
	EXPECT_TRUE(logged("KDispAge_lend_request() fail : InterruptStatus = 11000\n"));
	EXPECT_EQ(r(0xB0), 0u);
	EXPECT_EQ(r(0xAC), 0u);

	/* share_irq leaves the status to its caller */
	EXPECT_EQ(KDispAge_share_irq(program_fill, &buf), 0);
	EXPECT_EQ(r(0xB0), 0x11000u);
	khost::set_reg(kRegs + 0xB0, 0);

	/* A refusing borrower: -8, the engine not started, the lock free at once. */
	model.mode = Engine::Irq;
	int starts = model.starts;
	EXPECT_EQ(KDispAge_lend_request([](void *) { return -1; }, nullptr), -8);
	EXPECT_EQ(model.starts, starts);
	EXPECT_EQ(KDispAge_lend_request(program_fill, &buf), 0);
	/* With no callback the driver starts the engine itself. */
	EXPECT_EQ(KDispAge_share_irq(nullptr, nullptr), 0);
	EXPECT_EQ(model.starts, starts + 2);
}

TEST_F(DispAge, ABorrowerHoldsTheEngineAgainstTheOperationLayer)
{
	boot();
	static std::atomic<bool> in_callback, release;
	in_callback = false;
	release = false;
	KRun borrower;
	borrower.fn = [] {
		return KDispAge_lend_request(
			[](void *) {
				in_callback = true;
				while (!release)
					msleep(1);
				khost::raise_irq(kIrq);
				return 0;
			},
			nullptr);
	};
	krun_start(borrower);
	while (!in_callback)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	phys_addr_t buf = buffer(4096);
	KRun filler;
	filler.fn = [buf] {
		ST_KDISPAGE_PLANE p = plane(3, buf, 64, 4, 4);
		return KDispAge_OP_Fill(&p, 5);
	};
	krun_start(filler);
	std::this_thread::sleep_for(std::chrono::milliseconds(20));
	EXPECT_FALSE(filler.done);	/* still waiting for the engine */
	EXPECT_EQ(model.starts, 0);
	release = true;
	EXPECT_EQ(krun_finish(borrower), 0);
	while (!filler.done)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(krun_finish(filler), 0);
	EXPECT_EQ(model.starts, 1);
}

/* ---- the device ---- */

TEST_F(DispAge, ReadStartsOneRunOfFourBytes)
{
	boot();
	auto *f = khost::open("crkdispage");
	ASSERT_NE(f, nullptr);
	char buf[8];
	EXPECT_EQ(f->f_op->read(f, buf, 3, nullptr), -22);
	EXPECT_EQ(f->f_op->read(f, buf, 5, nullptr), -22);
	int err = 0;
	ASSERT_NE(khost::mmap(f, 4096, kRegs >> 12, &err), nullptr);
	/* The owner arms the engine through its mapping, then reads. */
	auto arm = [] { khost::set_reg(kRegs + 0xAC, 0x780111FF); };
	EXPECT_EQ(model.starts, 0);
	int result = -1;
	arm();
	EXPECT_EQ(f->f_op->read(f, (char *)&result, 4, nullptr), 4);
	EXPECT_EQ(result, 0);
	EXPECT_EQ(model.starts, 1);
	model.mode = Engine::StatusOnly;
	arm();
	EXPECT_EQ(f->f_op->read(f, (char *)&result, 4, nullptr), 4);
	EXPECT_EQ(result, 1);
	khost::fail_user_copy_after(0);
	arm();
	EXPECT_EQ(f->f_op->read(f, (char *)&result, 4, nullptr), -14);
	khost::fail_user_copy_after(-1);
	khost::close(f);
}

TEST_F(DispAge, UnprivilegedOpenersNeitherMapNorStartNorRunTheSelfTest)
{
	boot();
	khost::set_caps(khost::kAllCaps & ~(khost::cap_bit(CAP_SYS_RAWIO) | khost::cap_bit(CAP_SYS_ADMIN)));
	auto *f = khost::open("crkdispage");
	ASSERT_NE(f, nullptr);
	int err = 0, result = -1;
	EXPECT_EQ(khost::mmap(f, 4096, khost::foreign_ram() >> 12, &err, false), nullptr);
	EXPECT_EQ(err, -EPERM);
	EXPECT_EQ(khost::mmap(f, 4096, kRegs >> 12, &err), nullptr);
	EXPECT_EQ(err, -EPERM);
	EXPECT_TRUE(khost::mappings().empty());
	khost::set_reg(kRegs + 0xAC, 0x780111FF);
	EXPECT_EQ(f->f_op->read(f, (char *)&result, 4, nullptr), -EPERM);
	ST_KDISPAGE_BAT bat{};
	bat.FillDst = plane(3, 0, 64, 10, 10);
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), -EPERM);
	EXPECT_EQ(khost::compat_ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), -EPERM);
	EXPECT_EQ(model.starts, 0);
	khost::close(f);

	/* An owner's read does not restart what another caller's run left. */
	khost::set_caps(khost::cap_bit(CAP_SYS_RAWIO) | khost::cap_bit(CAP_SYS_ADMIN));
	f = khost::open("crkdispage");
	ASSERT_NE(khost::mmap(f, 4096, kRegs >> 12, &err), nullptr);
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), 0);
	EXPECT_EQ(model.starts, 1);
	EXPECT_EQ(f->f_op->read(f, (char *)&result, 4, nullptr), -EINVAL);
	EXPECT_EQ(model.starts, 1);
	khost::close(f);
}

TEST_F(DispAge, IoctlRunsTheSelfTestFromABoundedRecord)
{
	boot();
	auto *f = khost::open("crkdispage");
	ASSERT_NE(f, nullptr);

	EXPECT_EQ(khost::ioctl(f, _IOW('d', 2, int), 0), -524);
	EXPECT_TRUE(logged("unknow cmd in KDispAge_ioctl() arguments, nr = 2, size = 4\n"));

	ST_KDISPAGE_BAT bat{};
	bat.Mode = KDISPAGE_BAT_FILL;
	bat.FillColor = 0x80402010;
	bat.FillDst = plane(3, 0, 64, 10, 10);
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), 0);
	EXPECT_EQ(model.starts, 1);

	/* A size field above the record copies only the record. */
	std::vector<char> big(400, 0);
	memcpy(big.data(), &bat, sizeof(bat));
	khost::poison_user(big.data() + sizeof(bat), big.size() - sizeof(bat));
	EXPECT_EQ(khost::ioctl(f, _IOC(_IOC_WRITE, 'd', 1, 300), (unsigned long)big.data()), 0);

	/* A short record: the rest reads as zero and the empty plane is refused. */
	EXPECT_EQ(khost::ioctl(f, _IOC(_IOC_WRITE, 'd', 1, 16), (unsigned long)&bat), -22);
	khost::fail_user_copy_after(0);
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), -14);
	khost::fail_user_copy_after(-1);

	/* A picture whose rows would run past the buffer is refused. */
	bat.FillDst = plane(3, 0, 64, 10, 10);
	bat.FillDst.ClipY = 60;
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), -22);
	bat.FillDst = plane(15, 0, 64, 10, 10);
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), -22);

	model.mode = Engine::Corrupt;
	bat.FillDst = plane(3, 0, 64, 10, 10);
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), 1);
	EXPECT_TRUE(logged("KDispAge_bat: ChkError !!!!, position = 2:1, pPixel = 0x80402011"));

	model.mode = Engine::Irq;
	bat.Mode = KDISPAGE_BAT_TRANSFORM;
	bat.Src = plane(3, 0, 64, 10, 10);
	bat.Dst = plane(7, 0, 64, 10, 10);
	/* a 32-bit caller's record */
	void *low = khost::compat_alloc(sizeof(bat));
	memcpy(low, &bat, sizeof(bat));
	EXPECT_EQ(khost::compat_ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)low), 0);
	model.mode = Engine::Silent;
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), -16);
	EXPECT_TRUE(logged("run Dispage failed!\n"));
	bat.Mode = 2;
	EXPECT_EQ(khost::ioctl(f, KDISPAGE_IOC_BAT, (unsigned long)&bat), -1);
	khost::close(f);
}

TEST_F(DispAge, MmapMapsThePhysicalPagesAsked)
{
	boot();
	auto *f = khost::open("crkdispage");
	ASSERT_NE(f, nullptr);
	phys_addr_t buf = buffer(8192);
	int err = 0;
	void *m = khost::mmap(f, 8192, buf >> 12, &err);
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(m, khost::phys_ptr(buf));
	EXPECT_EQ(khost::mmap(f, 8192, ~0ul, &err), nullptr);
	EXPECT_EQ(err, -22);
	khost::close(f);
}

/* ---- power ---- */

TEST_F(DispAge, SuspendWaitsForTheRunRefusesNewOnesAndResumeBalancesTheLine)
{
	boot();
	model.mode = Engine::Silent;
	khost::set_time_scale(5);	/* the run limit must outlast a loaded host */
	KRun run;
	run.fn = [] { return KDispAge_share_irq([](void *) { model.starts++; return 0; }, nullptr); };
	krun_start(run);
	while (model.starts == 0)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	/* The engine answers a little later, while suspend waits for it. */
	std::thread engine([] {
		std::this_thread::sleep_for(std::chrono::milliseconds(3));
		khost::raise_irq(kIrq);
	});
	EXPECT_EQ(crv_pmi_suspend_all(), 0);
	engine.join();
	while (!run.done)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(krun_finish(run), 0);	/* the run got its interrupt before the line went off */
	EXPECT_TRUE(logged("[DBG_DRV_GPU]_ker_dispage_pmi_suspend_p() done.\n"));
	khost::set_time_scale(100);

	phys_addr_t buf = buffer(4096);
	ST_KDISPAGE_PLANE p = plane(3, buf, 64, 4, 4);
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), -4);
	EXPECT_TRUE(logged("[DBG_DRV_GPU]KDispAge_Read_Interrupt_Count() PMI Suspend HW !!!!!\n"));
	EXPECT_EQ(khost::raise_irq(kIrq), 0);	/* line disabled */

	EXPECT_EQ(crv_pmi_resume_all(), 0);
	EXPECT_EQ(khost::raise_irq(kIrq), 1);
	model.mode = Engine::Irq;
	EXPECT_EQ(KDispAge_OP_Fill(&p, 1), 0);
}

/* ---- debug menu ---- */

TEST_F(DispAge, MenuTogglesMasksAndRunsTheSelfTestOnItsPages)
{
	boot();
	type("1\n1\n3\n36\n12345\n");
	EXPECT_EQ(g_DispAgeDbgMask, 0x5u);
	EXPECT_EQ(g_DispAgeOpDbgMask, 0x9u);
	EXPECT_TRUE(logged("0003)*Message                 "));
	EXPECT_TRUE(logged("0036)*Trace Flow              \n"));
	type("1\n999\n12345\n");
	EXPECT_EQ(g_DispAgeDbgMask, 1u);
	EXPECT_EQ(g_DispAgeOpDbgMask, 1u);

	/* Self Test: allocate the pages, fill the first, print its words. */
	type("2\n1\n3\n0x12345678\n");
	EXPECT_TRUE(logged("Fill Color ? "));
	EXPECT_TRUE(logged("Fill color 12345678\n"));
	EXPECT_TRUE(logged(" : 0x12345678, 0x12345678, 0x12345678, 0x12345678\n"));
	/* The pages stay allocated; unloading frees them. */
}

TEST_F(DispAge, MenuAsksForAnAddressWithoutPagesAndPrintsNoneOfThem)
{
	boot();
	type("1\n2\n3\n");
	EXPECT_TRUE(logged("Dst Addr ? "));
	type("0\n7\n");
	EXPECT_TRUE(logged("Buffer 0x00000000 Fill color 7\n"));
	EXPECT_EQ(model.starts, 0);	/* address 0 refused */
	type("..\n4\n1\n");
	EXPECT_TRUE(logged("DispAge Reg. Page   : Non-Secure = 0\n"));
	type("2\n");
	EXPECT_TRUE(logged("DispAge Reg. Page Non-Secure set to 1\n"));
	EXPECT_EQ(khost::reg(0xFD65000C), 1u << 16);
}

} // namespace
