// 2D engine from user space down to the register program: the exec command
// over the real operation layer, backends, command lists and memory
// provider; buffer lifetimes; who may reach which memory.
#include "kgpu_fixture.hpp"
#include "khost/oracle.hpp"

#include <functional>

extern "C" {
#include "ker_gpu_hw.h"
#include "khost/dmabuf.h"
}

namespace {

constexpr phys_addr_t kBase = 0xFC050000;	// the one engine of version 2
constexpr uint32_t kOtherChip = 0x12345678;	// version 2: Q3 backend only

uint32_t reg(uint32_t off) { return khost::reg(kBase + off); }

class Exec : public kgpu::Gpu {
public:
	void SetUp() override
	{
		kgpu::Gpu::SetUp();
		load(chip, chip == kgpu::kChipQ5);
	}

	void TearDown() override
	{
		khost::set_caps(khost::kAllCaps);
		kgpu::Gpu::TearDown();
	}

	// An allocation through f (contiguous DMA memory).
	ST_KGPU_MEM_ALLOC alloc(struct file *f, uint32_t size)
	{
		ST_KGPU_MEM_ALLOC a = {};
		a.u32Size = size;
		EXPECT_EQ(khost::ioctl(f, KGPU_IOC_MEM_ALLOC, (unsigned long)&a), 0);
		khost::oracle::allow(a.u64PhyAddr, a.u32AllocatedSize, "an allocation of the test's");
		return a;
	}

	static ST_KGPU_EXEC_PLANE plane(uint8_t fmt, uint8_t flag, const uint64_t addr[3],
					uint16_t w = 16, uint16_t h = 16, uint16_t stride = 64)
	{
		ST_KGPU_EXEC_PLANE p = {};
		p.u8Format = fmt;
		p.u8FormatFlag = flag;
		p.u32BufSrcType = KGPU_BUF_SRC_PHYS;
		for (int i = 0; i < 3; i++) {
			p.u64Addr[i] = addr[i];
			p.u16Stride[i] = stride;
		}
		p.u16Width = w;
		p.u16Height = h;
		return p;
	}

	// What a kernel caller hands the operations: 16x16 ARGB at addr.
	static KER_GPU_PLANE kernel_plane(uint64_t addr)
	{
		KER_GPU_PLANE p = {};
		p.FormatMode = 3;
		p.Buf_Address[0] = addr;
		p.Buf_Stride[0] = 64;
		p.W = p.H = 16;
		return p;
	}

	static ST_KGPU_EXEC fill(const ST_KGPU_EXEC_PLANE &dst)
	{
		ST_KGPU_EXEC e = {};
		e.u32Type = KGPU_EXEC_FILL;
		e.stDst = dst;
		e.stFill.u32Color = 0x11223344;
		return e;
	}

	long exec(struct file *f, ST_KGPU_EXEC &e) { return khost::ioctl(f, KGPU_IOC_EXEC, (unsigned long)&e); }

	uint32_t chip = kOtherChip;

	static bool holds_coherent()
	{
		for (auto &l : khost::leaks())
			if (kgpu::contains(l, "coherent buffer"))
				return true;
		return false;
	}
};

// Exports one plane; the descriptor, or the error.
int share(struct file *f, uint64_t addr, uint32_t size)
{
	ST_KGPU_BUF_EXCHANGE x = {};
	x.u32PlaneNum = 1;
	x.u64PlaneAddr[0] = addr;
	x.u32PlaneSize[0] = size;
	long r = khost::ioctl(f, KGPU_IOC_BUF_EXCHANGE, (unsigned long)&x);
	return r ? (int)r : x.s32DmaBufFd;
}

/* ---- every format family through the exec command ---- */

struct Family {
	uint8_t fmt, flag;
	int planes;
};

class Formats : public Exec, public ::testing::WithParamInterface<Family> {};

TEST_P(Formats, EveryPlaneAddressOfSourceAndDestinationIsProgrammed)
{
	const Family &f = GetParam();
	auto src = alloc(dev(), 3 * 16384), dst = alloc(dev(), 3 * 16384);
	uint64_t sa[3], da[3];
	for (int i = 0; i < 3; i++) {
		sa[i] = src.u64PhyAddr + i * 16384;
		da[i] = dst.u64PhyAddr + i * 16384;
	}
	ST_KGPU_EXEC e = {};
	e.u32Type = KGPU_EXEC_COPY;
	e.stSrc1 = plane(f.fmt, f.flag, sa);
	e.stDst = plane(f.fmt, f.flag, da);
	ASSERT_EQ(exec(dev(), e), 0);
	for (int i = 0; i < f.planes; i++) {
		EXPECT_EQ(reg(AGE_SRC2_ADDR0 + 4 * i), (uint32_t)sa[i]) << "source plane " << i;
		EXPECT_EQ(reg(AGE_DST_ADDR0 + 4 * i), (uint32_t)da[i]) << "destination plane " << i;
	}
}

INSTANTIATE_TEST_SUITE_P(Kgpu, Formats, ::testing::Values(
	Family{3, 0, 1}, Family{4, 0, 1}, Family{14, 0, 1}, Family{26, 0, 1}, Family{28, 0, 1},
	Family{15, 0, 2}, Family{15, 1, 3}, Family{30, 0, 2}, Family{31, 0, 2}, Family{32, 0, 3}));

/* ---- allocations ---- */

TEST_F(Exec, A4kArgbSurfaceIsAllocatedZeroedAndMapped)
{
	auto a = alloc(dev(), 3840 * 2160 * 4);
	ASSERT_EQ(a.u32AllocatedSize, 3840u * 2160 * 4);
	int err = 0;
	auto *p = (const uint8_t *)khost::mmap(dev(), a.u32AllocatedSize, a.u64PhyAddr >> 12, &err);
	ASSERT_EQ(err, 0);
	for (size_t i = 0; i < a.u32AllocatedSize; i += 4093)
		ASSERT_EQ(p[i], 0) << "byte " << i;
	khost::munmap((void *)p);
}

// Pages are mapped cached, and uncached for a file opened with O_DSYNC:
// callers that rely on that for coherence read what the engine wrote.
TEST_F(Exec, PagesAreMappedUncachedForAnOpenerWithODsync)
{
	for (bool dsync : {false, true}) {
		struct file *f = khost::open("crkgpu", 2 | (dsync ? 010000 : 0));
		ST_KGPU_MEM_ALLOC a = {};
		a.u32Provider = KGPU_MEM_PROVIDER_PAGES;
		a.u32Size = 4096;
		ASSERT_EQ(khost::ioctl(f, KGPU_IOC_MEM_ALLOC, (unsigned long)&a), 0);
		khost::clear_mappings();
		void *m = khost::mmap(f, 4096, a.u64PhyAddr >> 12);
		ASSERT_NE(m, nullptr);
		ASSERT_EQ(khost::mappings().size(), 1u);
		EXPECT_EQ(khost::mappings()[0].prot & 1, dsync ? 1u : 0u) << "O_DSYNC " << dsync;
		khost::munmap(m);
		khost::close(f);
	}
}

TEST_F(Exec, AMappingKeepsItsBufferAfterItIsFreed)
{
	auto a = alloc(dev(), 8192);
	void *p = khost::mmap(dev(), 8192, a.u64PhyAddr >> 12);
	ASSERT_NE(p, nullptr);
	EXPECT_EQ(ioctl(KGPU_IOC_MEM_FREE, &a.u64PhyAddr), 0);
	EXPECT_TRUE(holds_coherent());
	khost::munmap(p);
	EXPECT_FALSE(holds_coherent());
}

/* ---- lifetimes ---- */

TEST_F(Exec, ClosingAnotherDescriptorLeavesTheBuffersOfThisOne)
{
	struct file *other = khost::open("crkgpu");
	auto a = alloc(dev(), 4096);
	khost::close(other);
	ST_KGPU_SYNC_RANGE r = {a.u64PhyAddr, 4096, 1};
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_OWN, &r), 0);
}

TEST_F(Exec, BuffersAForkedChildMadeGoWithTheSharedDescriptor)
{
	struct file *shared = dev();
	std::thread child([&] { alloc(shared, 4096); });	// another process
	child.join();
	khost::close(shared);
	file = nullptr;
	EXPECT_FALSE(holds_coherent());
}

TEST_F(Exec, ADmaBufKeepsItsBufferAfterTheDescriptorCloses)
{
	auto a = alloc(dev(), 8192);
	int fd = share(dev(), a.u64PhyAddr, 8192);
	ASSERT_GE(fd, 0);
	khost::close(file);
	file = nullptr;
	EXPECT_TRUE(holds_coherent());

	/* Still the engine's to draw on, through the dma-buf. */
	uint64_t none[3] = {};
	auto e = fill(plane(3, 0, none));
	e.stDst.u32BufSrcType = KGPU_BUF_SRC_DMABUF;
	e.stDst.s32Fd[0] = fd;
	EXPECT_EQ(exec(dev(), e), 0);
	EXPECT_EQ(reg(AGE_DST_ADDR0), (uint32_t)a.u64PhyAddr);

	khost::close_fd(fd);
	EXPECT_FALSE(holds_coherent());
}

/* ---- command lists ---- */

// Lists are built in the caller's context: the largest batch (about 3 MiB
// of list pages) must not come out of the reserve kept for interrupts.
TEST_F(Exec, TheLargestBatchIsBuiltFromOrdinaryMemory)
{
	auto a = alloc(dev(), 4096);
	uint64_t da[3] = {a.u64PhyAddr, 0, 0};
	std::vector<ST_KGPU_BATCH_FILL> rects(0xFFFF, ST_KGPU_BATCH_FILL{1, 1, 0, 0});
	auto e = fill(plane(3, 0, da));
	e.u32Type = KGPU_EXEC_BATCH_FILL;
	e.s32BatchNum = (int32_t)rects.size();
	e.u64BatchEntries = (uint64_t)(uintptr_t)rects.data();
	EXPECT_EQ(exec(dev(), e), 0);
}

// The engine reads command lists and page-provider buffers through DMA
// mappings for its device; every sync is one of such a mapping.
TEST_F(Exec, ListsAndPagesAreSyncedThroughTheirDmaMappings)
{
	auto a = alloc(dev(), 4096);
	uint64_t da[3] = {a.u64PhyAddr, 0, 0};
	ST_KGPU_BATCH_FILL rects[2] = {{4, 4, 0, 0}, {4, 4, 8, 8}};
	auto e = fill(plane(3, 0, da));
	e.u32Type = KGPU_EXEC_BATCH_FILL;
	e.s32BatchNum = 2;
	e.u64BatchEntries = (uint64_t)(uintptr_t)rects;
	EXPECT_EQ(exec(dev(), e), 0);
	ST_KGPU_MEM_ALLOC p = {};
	p.u32Provider = KGPU_MEM_PROVIDER_PAGES;
	p.u32Size = 8192;
	ASSERT_EQ(ioctl(KGPU_IOC_MEM_ALLOC, &p), 0);
	for (uint32_t dir : {0u, 1u}) {
		ST_KGPU_SYNC_RANGE r = {p.u64PhyAddr + 4096, 4096, dir};
		EXPECT_EQ(ioctl(KGPU_IOC_SYNC, &r), 0);
	}
	EXPECT_TRUE(khost::faults().empty());
}

// Page-provider memory lies where the engine's 32-bit mask reaches, at any
// size: a sync for the CPU keeps what the engine wrote (a bounce buffer's
// stale copy would land on it).
TEST_F(Exec, PagesNeedNoBounceBufferToReachTheEngine)
{
	for (uint32_t size : {8192u, 1u << 20}) {
		ST_KGPU_MEM_ALLOC p = {};
		p.u32Provider = KGPU_MEM_PROVIDER_PAGES;
		p.u32Size = size;
		ASSERT_EQ(ioctl(KGPU_IOC_MEM_ALLOC, &p), 0) << size;
		memset(khost::phys_ptr(p.u64PhyAddr), 0x5A, size);	/* the engine writes */
		ST_KGPU_SYNC_RANGE r = {p.u64PhyAddr, size, KGPU_SYNC_FOR_CPU};
		ASSERT_EQ(ioctl(KGPU_IOC_SYNC, &r), 0);
		EXPECT_EQ(((uint8_t *)khost::phys_ptr(p.u64PhyAddr))[size - 1], 0x5A) << size;
	}
}

// An importer gets the exported planes mapped for its own device.
TEST_F(Exec, AnExportedBufferIsMappedForTheImportersDevice)
{
	auto a = alloc(dev(), 8192);
	int fd = share(dev(), a.u64PhyAddr, 8192);
	ASSERT_GE(fd, 0);
	struct device importer = {};
	struct dma_buf *buf = dma_buf_get(fd);
	ASSERT_FALSE(IS_ERR_OR_NULL(buf));
	struct dma_buf_attachment *att = dma_buf_attach(buf, &importer);
	ASSERT_FALSE(IS_ERR_OR_NULL(att));
	struct sg_table *sgt = dma_buf_map_attachment_unlocked(att, DMA_BIDIRECTIONAL);
	ASSERT_FALSE(IS_ERR_OR_NULL(sgt));
	dma_sync_single_for_cpu(&importer, sg_dma_address(sgt->sgl), 8192, DMA_FROM_DEVICE);
	EXPECT_TRUE(khost::faults().empty());
	dma_buf_unmap_attachment_unlocked(att, sgt, DMA_BIDIRECTIONAL);
	dma_buf_detach(buf, att);
	dma_buf_put(buf);
	khost::close_fd(fd);
}

// A batch of no rectangles runs as the single operation on the planes' own.
TEST_F(Exec, ABatchOfNoRectanglesRunsAsASingleOperation)
{
	auto a = alloc(dev(), 4096);
	uint64_t da[3] = {a.u64PhyAddr, 0, 0};
	auto e = fill(plane(3, 0, da, 16, 8, 64));
	e.u32Type = KGPU_EXEC_BATCH_FILL;
	e.s32BatchNum = 0x10000;	/* the low 16 bits count */
	EXPECT_EQ(exec(dev(), e), 0);
	EXPECT_EQ(started(), 1);
	EXPECT_EQ(reg(AGE_DST_SIZE), 15u | 7u << 16);
}

/* ---- completions and engine ownership ---- */

std::atomic<int> done_calls{0};
void on_done(void *) { done_calls++; }

TEST_F(Exec, ABatchCallsItsNonBlockingCallback)
{
	KER_GPU_PLANE dst = kernel_plane(alloc(dev(), 16384).u64PhyAddr);
	ST_KGPU_BATCH_FILL rects[2] = {{4, 4, 0, 0}, {4, 4, 8, 8}};
	dst.stBatch = {2, sizeof(rects[0]), 0, (s16 *)&rects[0].x, (s16 *)&rects[0].y,
		       &rects[0].w, &rects[0].h};
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, on_done, nullptr};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING f = {};
	done_calls = 0;
	EXPECT_EQ(KGPU_OP_Fill(&dst, &f, nullptr), 0);
	EXPECT_EQ(done_calls.load(), 1);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

TEST_F(Exec, ANonBlockingReadWaitsForThePendingOperation)
{
	auto_irq = false;
	KER_GPU_PLANE dst = kernel_plane(alloc(dev(), 4096).u64PhyAddr);
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, on_done, nullptr};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING f = {};
	done_calls = 0;
	ASSERT_EQ(KGPU_OP_Fill(&dst, &f, nullptr), 0);

	struct file *nb = khost::open("crkgpu", 2 | 04000);
	std::string out;
	EXPECT_EQ(khost::read(nb, out, 4), 4);
	/* The pending operation ended (its callback ran) before the read's began. */
	EXPECT_EQ(done_calls.load(), 1);
	EXPECT_EQ(kgpu_test_nonblock(0), 1);
	khost::raise_irq(kgpu::kIrq0);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
	khost::close(nb);
}

TEST_F(Exec, Version2ResetsAfterAnErrorWhileItStillOwnsTheEngine)
{
	std::vector<int> owned_at_reset;
	khost::on_read(kBase + AGE_STATUS, [](phys_addr_t, uint64_t) -> uint64_t { return 0x100; });
	khost::on_write(kBase + AGE_CTRL, [&](phys_addr_t, uint64_t v, uint64_t &stored) {
		if (v & 1)
			start(kgpu::kIrq0);
		if (v & 0xF0000000)
			owned_at_reset.push_back(kgpu_test_sem_count(0) == 0);
		stored = v & ~0xF0000401ull;
	});
	auto a = alloc(dev(), 4096);
	uint64_t da[3] = {a.u64PhyAddr, 0, 0};
	auto e = fill(plane(3, 0, da));
	EXPECT_EQ(exec(dev(), e), -28);
	ASSERT_EQ(owned_at_reset.size(), 2u);	// before programming, after the error
	EXPECT_TRUE(owned_at_reset[1]);
}

/* ---- who may reach which memory ---- */

// One way to reach memory; returns what the driver answered (a negative
// errno, or 0 and more for success).
struct Reach {
	const char *name;
	long denied;	// what an opener without raw I/O access gets
	std::function<long(Exec &, struct file *)> run;
};

class Access : public Exec, public ::testing::WithParamInterface<Reach> {};

TEST_P(Access, RawIoOnlyForAPrivilegedOpener)
{
	khost::set_caps(khost::kAllCaps & ~khost::cap_bit(CAP_SYS_RAWIO));
	struct file *user = khost::open("crkgpu");
	khost::set_caps(khost::kAllCaps);
	EXPECT_EQ(GetParam().run(*this, user), GetParam().denied);
	EXPECT_GE(GetParam().run(*this, dev()), 0);
	khost::close(user);
}

long map(struct file *f, unsigned long pgoff)
{
	int err = 0;
	khost::mmap(f, 4096, pgoff, &err);
	return err;
}

long sync(struct file *f, unsigned cmd, uint64_t addr, uint32_t size)
{
	ST_KGPU_SYNC_RANGE r = {addr, size, 1};
	ST_KGPU_SYNC_RANGES rs = {(uint64_t)(uintptr_t)&r, 1, {}};
	return khost::ioctl(f, cmd, cmd == KGPU_IOC_SYNC_RANGES ? (unsigned long)&rs : (unsigned long)&r);
}

// Reserved memory without pages (the plane buffers) has no kernel address to
// maintain caches at: a raw sync of it is refused, never tried.
TEST_F(Exec, ARawSyncOfMemoryWithoutPagesIsRefused)
{
	constexpr phys_addr_t kPlanes = 0xF0000000;
	khost::add_regs(kPlanes, 0x10000);
	khost::add_nomap_ram(kPlanes, 0x10000);
	for (unsigned cmd : {KGPU_IOC_SYNC, KGPU_IOC_SYNC_RANGES})
		EXPECT_EQ(sync(dev(), cmd, kPlanes, 0x8000), -EINVAL);
}

long fill_foreign(Exec &t, struct file *f)
{
	uint64_t da[3] = {khost::foreign_ram(), 0, 0};
	auto e = Exec::fill(Exec::plane(3, 0, da));
	return t.exec(f, e);
}

long export_foreign(Exec &, struct file *f)
{
	int fd = share(f, khost::foreign_ram(), 4096);
	if (fd >= 0)
		khost::close_fd(fd);
	return fd;
}

// An allocation of another descriptor, through ioctl 35.
long sync_others(Exec &t, struct file *f)
{
	struct file *owner = khost::open("crkgpu");
	long ret = sync(f, KGPU_IOC_SYNC_OWN, t.alloc(owner, 4096).u64PhyAddr, 4096);
	khost::close(owner);
	return ret;
}

// Past the end of the opener's own allocation (RAM behind it).
long sync_past_own(Exec &t, struct file *f)
{
	auto a = t.alloc(f, 4096);
	t.alloc(f, 4096);
	return sync(f, KGPU_IOC_SYNC_OWN, a.u64PhyAddr, 8192);
}

// A 15000x30000 fill on a 4 KiB buffer shared as a dma-buf.
long fill_past_dmabuf(Exec &t, struct file *f)
{
	uint64_t none[3] = {};
	auto e = Exec::fill(Exec::plane(3, 0, none, 15000, 30000, 60000));
	e.stDst.u32BufSrcType = KGPU_BUF_SRC_DMABUF;
	e.stDst.s32Fd[0] = share(f, t.alloc(f, 4096).u64PhyAddr, 4096);
	long r = t.exec(f, e);
	khost::close_fd(e.stDst.s32Fd[0]);
	return r;
}

INSTANTIATE_TEST_SUITE_P(Kgpu, Access, ::testing::Values(
	Reach{"MapForeignRam", -1, [](Exec &, struct file *f) { return map(f, khost::foreign_ram() >> 12); }},
	Reach{"MapRegisters", -1, [](Exec &, struct file *f) { return map(f, 0); }},
	Reach{"FillForeignRam", -1, fill_foreign}, Reach{"ExportForeignRam", -1, export_foreign},
	Reach{"SyncForeignRam", -1, [](Exec &, struct file *f) {
		return sync(f, KGPU_IOC_SYNC, khost::foreign_ram(), 4096); }},
	Reach{"SyncForeignRanges", -1, [](Exec &, struct file *f) {
		return sync(f, KGPU_IOC_SYNC_RANGES, khost::foreign_ram(), 4096); }},
	Reach{"SyncAnotherOpenersBuffer", -1, sync_others},
	Reach{"SyncPastTheOwnBuffer", -22, sync_past_own},
	Reach{"FillPastADmaBuf", -22, fill_past_dmabuf},
	Reach{"StartTheEngineByRead", -1, [](Exec &, struct file *f) {
		std::string out;
		return (long)khost::read(f, out, 4); }}),
	[](const ::testing::TestParamInfo<Reach> &i) { return std::string(i.param.name); });

/* ---- the reach guard, from the numbers the engine is programmed with ---- */

// An opener without raw I/O access; the access oracle checks every start
// of the engine against the allocations the test made.
class User : public Exec {
public:
	void SetUp() override
	{
		Exec::SetUp();
		khost::set_caps(khost::kAllCaps & ~khost::cap_bit(CAP_SYS_RAWIO));
		khost::set_alloc_gap(4096);
		khost::oracle::enable(true);
	}

	void TearDown() override
	{
		khost::oracle::enable(false);
		khost::oracle::clear();
		Exec::TearDown();
	}
};

// The oracle decodes the engine's program on its own: a start whose
// destination runs past the caller's buffer is a fault.
TEST_F(User, TheOracleCatchesAProgramReachingPastTheCallersBuffer)
{
	auto a = alloc(dev(), 4096);
	uint64_t da[3] = {a.u64PhyAddr, 0, 0};
	auto e = fill(plane(3, 0, da, 16, 16, 64));
	ASSERT_EQ(exec(dev(), e), 0);
	EXPECT_TRUE(khost::oracle::findings().empty());
	EXPECT_FALSE(khost::oracle::seen().empty());
	void __iomem *regs = ioremap(kBase, 0x200);
	khost::set_reg(kBase + AGE_DST_SIZE, 15 | 64 << 16);	/* 65 lines of 64 bytes */
	writel(1, (u8 __iomem *)regs + AGE_CTRL);
	iounmap(regs);
	ASSERT_EQ(khost::oracle::findings().size(), 1u);
	EXPECT_TRUE(kgpu::contains(khost::oracle::findings()[0], "destination channel 0"));
	khost::clear_faults();
}

struct WritePixel {
	uint8_t fmt;
	uint16_t bytes;	// what one written pixel takes
};

class WriteSide : public User, public ::testing::WithParamInterface<WritePixel> {};

// A one-line fill as wide as a 4 KiB buffer holds pixels of the size the
// engine writes, and one pixel more.
TEST_P(WriteSide, AFillReachesWhatItsWrittenPixelSizeCovers)
{
	auto a = alloc(dev(), 4096);
	uint64_t da[3] = {a.u64PhyAddr, 0, 0};
	uint16_t fits = 4096 / GetParam().bytes;
	auto e = fill(plane(GetParam().fmt, 0, da, fits, 1, 0));
	EXPECT_EQ(exec(dev(), e), 0);
	e.stDst.u16Width = fits + 1;
	EXPECT_EQ(exec(dev(), e), -EINVAL);
}

INSTANTIATE_TEST_SUITE_P(Kgpu, WriteSide, ::testing::Values(
	WritePixel{0, 1}, WritePixel{1, 1}, WritePixel{27, 1}, WritePixel{28, 2}, WritePixel{3, 4},
	WritePixel{26, 1}));

// A palette format reads the palette its record names, and only within what
// the caller owns: 256 entries of four bytes.
TEST_F(User, APaletteFormatReadsTheNamedPaletteWithinTheCallersBuffers)
{
	auto px = alloc(dev(), 4096), pal = alloc(dev(), 4096), dst = alloc(dev(), 4096);
	uint64_t sa[3] = {px.u64PhyAddr, pal.u64PhyAddr, 0}, da[3] = {dst.u64PhyAddr, 0, 0};
	ST_KGPU_EXEC e = {};
	e.u32Type = KGPU_EXEC_COPY;
	e.stSrc1 = plane(2, 0, sa, 16, 16, 64);
	e.stDst = plane(3, 0, da, 16, 16, 64);
	ASSERT_EQ(exec(dev(), e), 0);
	EXPECT_EQ(reg(AGE_PALETTE), (uint32_t)pal.u64PhyAddr);
	EXPECT_EQ(reg(AGE_SRC_ADDR_HI) >> 24 & 0xF, (uint32_t)(pal.u64PhyAddr >> 32));
	EXPECT_EQ(reg(AGE_SRC2_CH) >> 12 & 3, 1u);	/* PaletteEn of the copy's source */
	e.stSrc1.u64Addr[1] = pal.u64PhyAddr + 4096 - 512;
	EXPECT_EQ(exec(dev(), e), -EINVAL);
	e.stSrc1.u64Addr[1] = khost::foreign_ram();
	EXPECT_EQ(exec(dev(), e), -EPERM);
}

// A batch entry runs as the single operation's whole register state with
// the entry's sizes and addresses in it: sources, taps, scale factors and
// end phases the list leaves in force reach from there too; entries inside
// the buffers run. 4 KiB buffers of 16 x 64 pixels.
struct Entry {
	const char *name;
	uint32_t type;
	std::function<void(ST_KGPU_EXEC &)> set;
	std::vector<uint16_t> entry;
	long expect = -EINVAL;
};

class BatchEntry : public User, public ::testing::WithParamInterface<Entry> {};

TEST_P(BatchEntry, ReachesOnlyTheCallersBuffers)
{
	uint64_t a[3][3] = {};
	for (auto &p : a)
		p[0] = alloc(dev(), 4096).u64PhyAddr;
	ST_KGPU_EXEC e = {};
	e.u32Type = GetParam().type;
	e.stSrc1 = plane(3, 0, a[0], 1, 1);
	e.stSrc2 = plane(3, 0, a[1], 16, 16);
	e.stDst = plane(3, 0, a[2], 16, 16);
	GetParam().set(e);
	std::vector<uint16_t> entry = GetParam().entry;
	e.s32BatchNum = 1;
	e.u64BatchEntries = (uint64_t)(uintptr_t)entry.data();
	EXPECT_EQ(exec(dev(), e), GetParam().expect);
}

INSTANTIATE_TEST_SUITE_P(Kgpu, BatchEntry, ::testing::Values(
	Entry{"BlendedFillReadsTheDestinationAtItsOwnRectangle", KGPU_EXEC_BATCH_FILL, [](ST_KGPU_EXEC &e) {
		e.stBlend.u32Control = 1;
		e.stDst.u16Width = e.stDst.u16Height = 1;
		e.stDst.s16X = 15;
		e.stDst.s16Y = 63; }, {16, 64, 0, 0}},
	Entry{"RunLengthOutputStartsAtTheEntry", KGPU_EXEC_BATCH_COPY, [](ST_KGPU_EXEC &e) {
		e.u8RunLenEnable = 1;
		e.u32RunLen = 1024;
		e.stDst.u16Width = e.stDst.u16Height = 1; }, {16, 1, 0, 0, 0, 63}},
	Entry{"PartialScalingTapsReachAroundTheEntry", KGPU_EXEC_BATCH_BLEND, [](ST_KGPU_EXEC &e) {
		e.stScale.u16PartialMarker = KGPU_EXEC_PARTIAL_MARKER;
		e.stScale.s16X1 = e.stScale.s16Y1 = 1;
		e.stScale.s16X2 = e.stScale.s16Y2 = 14;
		e.stSrc1.u16Width = e.stSrc1.u16Height = 8;
		e.stSrc1.s16X = 4;
		e.stSrc1.s16Y = 2; }, {1, 1, 0, 0, 0, 0, 0, 0}},
	Entry{"TheOwnScaleFactorWalksPastTheEntry", KGPU_EXEC_BATCH_BLEND, [](ST_KGPU_EXEC &e) {
		e.stSrc1.u16Width = e.stSrc1.u16Height = 16;
		e.stSrc1.s16Y = 48;
		e.stSrc2.u16Width = e.stSrc2.u16Height = 8;
		e.stDst.u16Width = e.stDst.u16Height = 8; }, {4, 4, 0, 60, 0, 0, 0, 0}},
	Entry{"TheOwnEndPhaseBoundsTheScaledWalk", KGPU_EXEC_BATCH_BLEND, [](ST_KGPU_EXEC &e) {
		e.stSrc1.u16Width = 16;
		e.stSrc1.u16Height = 64;
		e.stSrc2.u16Width = e.stDst.u16Width = 4; }, {1, 1, 15, 63, 0, 0, 0, 0}},
	Entry{"TallerThanTheSourceHeightField", KGPU_EXEC_BATCH_COPY, [](ST_KGPU_EXEC &e) {
		e.stSrc1.u16Stride[0] = e.stDst.u16Stride[0] = 0; }, {16, 8193, 0, 0, 0, 0}},
	Entry{"ACopyRuns", KGPU_EXEC_BATCH_COPY, [](ST_KGPU_EXEC &) {}, {8, 8, 8, 56, 8, 56}, 0},
	Entry{"ABlendRuns", KGPU_EXEC_BATCH_BLEND, [](ST_KGPU_EXEC &e) {
		e.stSrc1.u16Width = e.stSrc1.u16Height = 16; }, {8, 8, 8, 56, 8, 56, 8, 56}, 0},
	Entry{"ABlendedFillRuns", KGPU_EXEC_BATCH_FILL, [](ST_KGPU_EXEC &e) {
		e.stBlend.u32Control = 1; }, {8, 8, 8, 56}, 0}),
	[](const ::testing::TestParamInfo<Entry> &i) { return std::string(i.param.name); });

// The decoder itself on a hand-built list after a blend that halves src1
// (rows 48-63 of its buffer): the list's second entry moves src1 to row 60
// with 4 x 4 sizes, and the end phase left in force walks 16 rows from there.
TEST_F(User, TheDecoderRunsEachListEntryWithTheScalerInForce)
{
	uint64_t a[3][3] = {};
	for (auto &p : a)
		p[0] = alloc(dev(), 4096).u64PhyAddr;
	ST_KGPU_EXEC e = {};
	e.u32Type = KGPU_EXEC_BLEND;
	e.stSrc1 = plane(3, 0, a[0], 16, 16);
	e.stSrc1.s16Y = 48;
	e.stSrc2 = plane(3, 0, a[1], 8, 8);
	e.stDst = plane(3, 0, a[2], 8, 8);
	ASSERT_EQ(exec(dev(), e), 0);
	ASSERT_TRUE(khost::oracle::findings().empty());
	const uint32_t list[][2] = {{1, 0x01000000}, {512, 0x07010001},	/* as programmed */
				    {3 | 3 << 16, 0x01000029}, {3 | 3 << 16, 0x0100002A},
				    {(uint32_t)a[0][0] + 60 * 64, 0x0100000E}, {1, 0x01000000},
				    {512, 0x07010001}, {0, 0}};
	struct page *pg = alloc_pages(GFP_KERNEL | GFP_DMA32, 0);	/* lists lie below 4 GiB */
	memcpy(page_address(pg), list, sizeof(list));
	khost::set_reg(kBase + 0x418, (uint32_t)page_to_phys(pg));
	void __iomem *cp = ioremap(kBase + 0x400, 0x200);
	writel(0x30101, (u8 __iomem *)cp + 0x1C);
	iounmap(cp);
	__free_pages(pg, 0);
	ASSERT_EQ(khost::oracle::findings().size(), 1u);
	EXPECT_TRUE(kgpu::contains(khost::oracle::findings()[0], "source 1 channel 0: 16 lines"));
	khost::clear_faults();
}

// The luma/chroma programming model moves a flipped destination's start
// back by the padding to its alignment: that padding is written too.
class UserQ2 : public User {
public:
	UserQ2() { chip = kgpu::kChipQ5; }
};

TEST_F(UserQ2, AFlipsAlignmentPaddingMustBeTheCallers)
{
	auto src = alloc(dev(), 65536), dst = alloc(dev(), 65536);
	uint64_t sa[3] = {src.u64PhyAddr, 0, 0}, da[3] = {dst.u64PhyAddr, 0, 0};
	ST_KGPU_EXEC e = {};
	e.u32Type = KGPU_EXEC_ROTATE;
	e.u8RotateMode = 3;	/* back by the rows up to 64 */
	e.stSrc1 = plane(26, 0, sa, 16, 16, 64);
	e.stDst = plane(26, 0, da, 16, 16, 64);
	EXPECT_EQ(exec(dev(), e), -EINVAL);
	e.stDst.s16Y = 48;
	EXPECT_EQ(exec(dev(), e), 0);
	EXPECT_EQ(khost::reg(0xFC650000 + AGE_DST_ADDR0), (uint32_t)dst.u64PhyAddr);
}

TEST_F(Exec, AnUnprivilegedOpenerWorksWithItsOwnBuffers)
{
	khost::set_caps(khost::kAllCaps & ~khost::cap_bit(CAP_SYS_RAWIO));
	auto a = alloc(dev(), 16384);
	int err = 0;
	void *m = khost::mmap(dev(), 16384, a.u64PhyAddr >> 12, &err);
	EXPECT_NE(m, nullptr);
	khost::munmap(m);
	uint64_t da[3] = {a.u64PhyAddr, 0, 0};
	auto e = fill(plane(3, 0, da));
	EXPECT_EQ(exec(dev(), e), 0);
	ST_KGPU_SYNC_RANGE r = {a.u64PhyAddr, 16384, 1};
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_OWN, &r), 0);
	/* A rectangle that leaves the buffer does not run. */
	e.stDst.u16Height = 300;
	EXPECT_EQ(exec(dev(), e), -22);
}

} // namespace
