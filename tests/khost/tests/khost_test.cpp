// The host kernel's own rules, where drivers depend on them.
#include "khost/gtest.hpp"
#include "khost/oracle.hpp"

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

extern "C" {
extern int ks_timer_ctx;
void ks_init(void);
unsigned long ks_wait_done(unsigned long timeout);
void ks_complete(void);
int ks_down(void);
int ks_down_trylock(void);
void ks_up(void);
void ks_sleep_under_spinlock(void);
void ks_lock_plain(void);
long ks_wait_flag(long timeout);
void ks_set_flag(void);
unsigned long ks_copy_in(void *dst, const void *src, unsigned long n);
int ks_run_and_stop_thread(void);
void ks_arm_timer(unsigned long delay);
void ks_disarm_timer(void);
void *ks_map(phys_addr_t addr, size_t size);
void ks_unmap(void *p);
void ks_write(void *base, u32 off, u32 val);
u32 ks_read(void *base, u32 off);
void *ks_leak(void);
void ks_free(void *p);
int ks_misc_register(void);
int ks_file_capable(struct file *f, int cap);
int ks_capable(int cap);
void ks_misc_deregister(void);
phys_addr_t ks_page_phys(void);
int ks_fb_register(void);
void ks_fb_unregister(void);
extern int ks_fb_set_par_calls, ks_fb_pans;
#include "khost/fb.h"
#include "khost/dmabuf.h"
#include "khost/extra.h"
int ks_export(void);
u64 ks_import(int fd, struct device *dev);
extern int ks_buf_released;
extern int ks_vma_closes;
int ks_out_fence(void);
void ks_signal_fence(void);
}

namespace {

class Bed : public khost::KernelTest {
protected:
	void SetUp() override { ks_init(); }
};

TEST_F(Bed, CompletionsCountEveryComplete)
{
	ks_complete();
	ks_complete();
	EXPECT_GT(ks_wait_done(10), 0u);
	EXPECT_GT(ks_wait_done(10), 0u);
	/* 2500 jiffies (10 s of kernel time) cost a tenth of a second here. */
	auto t0 = std::chrono::steady_clock::now();
	EXPECT_EQ(ks_wait_done(2500), 0u);
	EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST_F(Bed, SemaphoresCountAndDownInterruptibleSeesSignals)
{
	EXPECT_EQ(ks_down(), 0);
	EXPECT_EQ(ks_down_trylock(), 0);
	EXPECT_EQ(ks_down_trylock(), 1);
	khost::set_signal_pending(khost_current(), true);
	EXPECT_EQ(ks_down(), -EINTR);
	khost::set_signal_pending(khost_current(), false);
	ks_up();
	EXPECT_EQ(ks_down(), 0);
	ks_up();
	ks_up();
}

TEST_F(Bed, SleepingWithASpinlockHeldIsAFault)
{
	ks_sleep_under_spinlock();
	auto f = khost::faults();
	ASSERT_EQ(f.size(), 1u);
	EXPECT_NE(f[0].find("sleeping call mutex_lock in atomic context (spinlock)"), std::string::npos);
	khost::clear_faults();
}

TEST_F(Bed, ALockSharedWithAnInterruptMustBeTakenWithInterruptsOff)
{
	khost::run_in_irq([] { ks_lock_plain(); });
	EXPECT_TRUE(khost::faults().empty());
	ks_lock_plain();	/* process context, interrupts on */
	auto f = khost::faults();
	ASSERT_EQ(f.size(), 1u);
	EXPECT_NE(f[0].find("taken in interrupt context and elsewhere with interrupts on"), std::string::npos);
	khost::clear_faults();
}

TEST_F(Bed, WaitEventTimeoutReportsWhatIsLeft)
{
	EXPECT_EQ(ks_wait_flag(25), 0);	/* timed out */
	std::thread waker([] {
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
		ks_set_flag();
	});
	long left = ks_wait_flag(250 * 60);
	waker.join();
	EXPECT_GE(left, 1);
	EXPECT_LT(left, 250 * 60);
	EXPECT_GE(ks_wait_flag(0), 1);	/* already true: at least 1 */
}

TEST_F(Bed, UserCopiesFaultAndZeroFill)
{
	u32 src = 0x12345678, dst = 0;
	EXPECT_EQ(ks_copy_in(&dst, &src, 4), 0u);
	EXPECT_EQ(dst, 0x12345678u);
	EXPECT_EQ(ks_copy_in(&dst, nullptr, 4), 4u);
	EXPECT_EQ(dst, 0u);
	khost::poison_user(&src, sizeof(src));
	dst = 1;
	EXPECT_EQ(ks_copy_in(&dst, &src, 4), 4u);
	EXPECT_EQ(dst, 0u);
	u32 other = 5;
	khost::fail_user_copy_after(1);
	EXPECT_EQ(ks_copy_in(&dst, &other, 4), 0u);
	EXPECT_EQ(ks_copy_in(&dst, &other, 4), 4u);
}

TEST_F(Bed, ConfinedUserMemoryIsTheUserBuffersOnly)
{
	auto *buf = static_cast<char *>(khost::user_alloc(16));
	ASSERT_LT((uintptr_t)buf, 0x80000000ull);
	memcpy(buf, "0123456789abcdef", 16);
	u32 host = 7, dst = 1;
	khost::confine_user();
	EXPECT_EQ(ks_copy_in(&dst, &host, 4), 4u) << "host memory is no user memory any more";
	EXPECT_EQ(dst, 0u);
	char out[8];
	EXPECT_EQ(ks_copy_in(out, buf + 12, 8), 4u) << "the copy stops where the buffer's pages end";
	EXPECT_EQ(memcmp(out, "cdef\0\0\0\0", 8), 0);
	EXPECT_EQ(ks_copy_in(out, (const void *)~0ul, 2), 2u) << "a range that wraps";
	EXPECT_EQ(ks_copy_in(out, (const void *)(1ul << 48), 2), 2u) << "kernel addresses";
}

TEST_F(Bed, TheLogKeepsItsNewestMegabyte)
{
	khost::set_log_echo(false);
	for (int i = 0; i < 20000; i++)
		printk("line %05d of a kernel that logs more than a megabyte of text in all\n", i);
	std::string text = khost::log();
	EXPECT_LE(text.size(), 1u << 20);
	EXPECT_EQ(text.find("line 00000 "), std::string::npos);
	EXPECT_NE(text.find("line 19999 "), std::string::npos);
}

TEST_F(Bed, KernelFileNamesStayInsideTheTestsFolder)
{
	struct file *f = filp_open("/../../dump/../../x.raw", O_CREAT | O_WRONLY, 0600);
	ASSERT_FALSE(IS_ERR(f));
	filp_close(f, nullptr);
	struct stat st;
	EXPECT_EQ(stat((khost::file_root() + "/x.raw").c_str(), &st), 0);
}

TEST_F(Bed, KthreadStopWakesTheThreadAndReturnsItsResult)
{
	EXPECT_EQ(ks_run_and_stop_thread(), 42);
}

TEST_F(Bed, TimersFireInTimerContextWhereSleepingIsAFault)
{
	ks_arm_timer(5);
	EXPECT_GT(ks_wait_done(2500), 0u);
	EXPECT_EQ(ks_timer_ctx, 1);
	ks_disarm_timer();
	auto f = khost::faults();
	ASSERT_EQ(f.size(), 1u);
	EXPECT_NE(f[0].find("msleep in atomic context (timer)"), std::string::npos);
	khost::clear_faults();
}

TEST_F(Bed, RegisterWindowsJournalWritesAndRunHooks)
{
	khost::add_regs(0xfc0d0000, 0x10000);
	khost::on_write(0xfc0db000, [](phys_addr_t, uint64_t v, uint64_t &stored) { stored = v & ~1ull; });
	khost::on_read(0xfc0d0008, [](phys_addr_t, uint64_t stored) { return stored | 0x40000000; });
	void *base = ks_map(0xfc0d0000, 0x10000);
	ASSERT_NE(base, nullptr);
	ks_write(base, 0x100, 7);
	ks_write(base, 0xb000, 3);
	EXPECT_EQ(ks_read(base, 0xb000), 2u);
	EXPECT_EQ(ks_read(base, 0x8), 0x40000000u);
	auto j = khost::journal();
	ASSERT_EQ(j.size(), 2u);
	EXPECT_EQ(j[0].addr, 0xfc0d0100u);
	EXPECT_EQ(j[0].value, 7u);
	EXPECT_EQ(j[1].addr, 0xfc0db000u);
	EXPECT_EQ(khost::reg(0xfc0d0100), 7u);
	EXPECT_EQ(ks_map(0x12340000, 4), nullptr);	/* nothing there */
	ks_unmap(base);
}

// A toy engine: a source at 0x10, a length at 0x14, start bit 0 of 0x0.
TEST_F(Bed, TheAccessOracleFlagsWhatAStartedEngineWouldReachOutsideTheCallers)
{
	namespace o = khost::oracle;
	khost::add_regs(0xfc0e0000, 0x100);
	o::on_start("toy", 0xfc0e0000, 1, [](uint64_t, o::Accesses &out) {
		out.push_back({khost::reg(0xfc0e0010), khost::reg(0xfc0e0014), false, "toy source"});
	});
	phys_addr_t mine = khost::phys_alloc(0x2000);
	void *base = ks_map(0xfc0e0000, 0x100);
	o::enable(true);
	o::allow(mine, 0x1000, "first page");
	o::allow(mine + 0x1000, 0x1000, "second page");
	ks_write(base, 0x10, (u32)mine);	/* the arena lies above 4 GiB: a truncated address */
	ks_write(base, 0x14, 0x2000);
	ks_write(base, 0x0, 1);
	ASSERT_EQ(o::findings().size(), 1u);
	EXPECT_NE(o::findings()[0].find("toy source"), std::string::npos);
	khost::clear_faults();
	o::clear();
	EXPECT_EQ(o::check("toy", {{mine, 0x2000, false, "both pages"}}), 0);
	EXPECT_EQ(o::check("toy", {{mine + 1, 0x2000, false, "one byte past"}}), 1);
	EXPECT_EQ(o::check("toy", {{~0ull - 4, 0x10, false, "wrapping"}}), 1);
	o::allow_all(true);
	EXPECT_EQ(o::check("toy", {{0, 0x10, true, "anything, with CAP_SYS_RAWIO"}}), 0);
	o::enable(false);
	khost::clear_faults();
	o::clear();
	ks_unmap(base);
}

TEST_F(Bed, LeftoversAreReported)
{
	void *p = ks_leak();
	void *regs_before = nullptr;
	(void)regs_before;
	auto l = khost::leaks();
	ASSERT_EQ(l.size(), 1u);
	EXPECT_EQ(l[0], "allocation of 24 bytes");
	ks_free(p);
	ks_free(p);	/* twice */
	auto f = khost::faults();
	ASSERT_EQ(f.size(), 1u);
	khost::clear_faults();
}

TEST_F(Bed, MiscDevicesOpenIoctlAndMmapLikeUserSpace)
{
	ASSERT_EQ(khost::load_module("khost_selftest_mod"), 0);
	ASSERT_EQ(ks_misc_register(), 0);
	EXPECT_GE(ks_page_phys(), 0x100000000ull);	/* above 4 GiB */
	struct file *f = khost::open("ksdev");
	ASSERT_NE(f, nullptr);
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), -EAGAIN);	/* open file holds it */
	u32 v = 1;
	EXPECT_EQ(khost::ioctl(f, 10, (unsigned long)&v), 0);
	EXPECT_EQ(v, 11u);
	EXPECT_EQ(khost::compat_ioctl(f, 1, (unsigned long)&v), 0);
	EXPECT_EQ(v, 12u);
	EXPECT_EQ(khost::ioctl(f, 1, 0), -EFAULT);
	int err = 0;
	auto *m = static_cast<u32 *>(khost::mmap(f, 4096, 0, &err));
	ASSERT_NE(m, nullptr);
	EXPECT_EQ(*m, 0xfeedf00du);
	EXPECT_EQ(khost::mmap(f, 8192, 0, &err), nullptr);
	EXPECT_EQ(err, -EINVAL);
	EXPECT_EQ(ks_vma_closes, 0);
	EXPECT_EQ(khost::munmap(m), 0);
	EXPECT_EQ(ks_vma_closes, 1);	/* the area's close runs at munmap */
	khost::close(f);
	ks_misc_deregister();
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), 0);
}

TEST_F(Bed, CapabilitiesFollowTheOpenerAndMappingsAreJournalled)
{
	ASSERT_EQ(khost::load_module("khost_selftest_mod"), 0);
	ASSERT_EQ(ks_misc_register(), 0);
	struct file *root = khost::open("ksdev");
	khost::set_caps(khost::cap_bit(CAP_SYS_ADMIN));
	struct file *user = khost::open("ksdev", O_RDONLY);
	EXPECT_TRUE(ks_file_capable(root, CAP_SYS_RAWIO));	/* handed on, it keeps its opener's rights */
	EXPECT_FALSE(ks_file_capable(user, CAP_SYS_RAWIO));
	EXPECT_TRUE(ks_file_capable(user, CAP_SYS_ADMIN));
	EXPECT_FALSE(ks_capable(CAP_SYS_RAWIO));
	khost::set_caps(khost::kAllCaps);
	int err = 0;
	EXPECT_EQ(khost::mmap(user, 4096, 0, &err), nullptr);	/* shared and writable on a read-only file */
	EXPECT_EQ(err, -EACCES);
	khost::clear_mappings();
	void *m = khost::mmap(user, 4096, 0, &err, false);
	EXPECT_NE(m, nullptr);
	khost::munmap(m);
	auto maps = khost::mappings();
	ASSERT_EQ(maps.size(), 1u);
	EXPECT_EQ(maps[0].phys, ks_page_phys());
	EXPECT_EQ(maps[0].vm_flags & (VM_WRITE | VM_MAYWRITE), 0u);
	khost::close(user);
	khost::close(root);
	ks_misc_deregister();
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), 0);
}

TEST_F(Bed, SymbolGetFindsOnlyGplExportsAndKmallocIsLinearMemory)
{
	static int plain, gpl;
	khost::add_symbol("ks_plain", &plain, false);
	khost::add_symbol("ks_gpl", &gpl);
	EXPECT_EQ(__symbol_get("ks_plain"), nullptr);
	EXPECT_NE(khost::log().find("failing symbol_get of non-GPLONLY symbol ks_plain.\n"), std::string::npos);
	EXPECT_EQ(__symbol_get("ks_gpl"), &gpl);
	__symbol_put("ks_gpl");
	char *k = static_cast<char *>(kmalloc(100, GFP_KERNEL));
	int local = 0;
	EXPECT_TRUE(virt_addr_valid(k + 99));
	EXPECT_FALSE(virt_addr_valid(k + 100));
	EXPECT_FALSE(virt_addr_valid(&local));
	kfree(k);
}

TEST_F(Bed, FramebuffersGoThroughTheCoreChecks)
{
	ASSERT_EQ(khost::load_module("khost_selftest_mod"), 0);
	ASSERT_EQ(ks_fb_register(), 0);
	struct file *f = khost::open("fb0");
	ASSERT_NE(f, nullptr);
	fb_var_screeninfo var = {};
	ASSERT_EQ(khost::ioctl(f, FBIOGET_VSCREENINFO, (unsigned long)&var), 0);
	EXPECT_EQ(var.yres_virtual, 32u);

	var.bits_per_pixel = 16;	/* refused by check_var */
	EXPECT_EQ(khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&var), -EINVAL);
	var.bits_per_pixel = 32;
	var.yres_virtual = 8;		/* the core refuses what check_var let through */
	EXPECT_EQ(khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&var), -EINVAL);
	EXPECT_EQ(ks_fb_set_par_calls, 0);
	var.yres_virtual = 48;
	EXPECT_EQ(khost::ioctl(f, FBIOPUT_VSCREENINFO, (unsigned long)&var), 0);
	EXPECT_EQ(ks_fb_set_par_calls, 1);

	var.yoffset = 32;
	EXPECT_EQ(khost::ioctl(f, FBIOPAN_DISPLAY, (unsigned long)&var), 0);
	var.yoffset = 33;	/* beyond yres_virtual - yres */
	EXPECT_EQ(khost::ioctl(f, FBIOPAN_DISPLAY, (unsigned long)&var), -EINVAL);
	EXPECT_EQ(ks_fb_pans, 2);	/* one from set_var, one pan */

	static_assert(sizeof(fb_fix_screeninfo32) == 68);
	auto *fix32 = static_cast<fb_fix_screeninfo32 *>(khost::compat_alloc(sizeof(fb_fix_screeninfo32)));
	ASSERT_LT((uintptr_t)fix32, 0x100000000ull);
	ASSERT_EQ(khost::compat_ioctl(f, FBIOGET_FSCREENINFO, (unsigned long)fix32), 0);
	EXPECT_STREQ(fix32->id, "ks_fb");
	EXPECT_EQ(fix32->smem_len, 4 * 4096u);
	EXPECT_EQ(khost::ioctl(f, 0xc801, 0), 7);
	EXPECT_EQ(khost::compat_ioctl(f, 0xc801, 0), -ENOIOCTLCMD);
	EXPECT_EQ(khost::ioctl(f, FBIOBLANK, 0), -EINVAL);

	int err = 0;
	EXPECT_NE(khost::mmap(f, 4 * 4096, 0, &err), nullptr);
	EXPECT_EQ(khost::mmap(f, 4096, 4, &err), nullptr);
	khost::close(f);
	ks_fb_unregister();
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), 0);
}

// A console bound to a framebuffer pins its driver's module until the
// framebuffer is unregistered, which lets the console go.
TEST_F(Bed, BoundConsolePinsTheModuleUntilItsFramebufferGoes)
{
	ASSERT_EQ(khost::load_module("khost_selftest_mod"), 0);
	ASSERT_EQ(ks_fb_register(), 0);
	ASSERT_EQ(khost::fb_console_bind(0), 0);
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), -EAGAIN);
	ks_fb_unregister();
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), 0);
}

TEST_F(Bed, DmaBufsLiveUntilTheirLastDescriptorCloses)
{
	ASSERT_EQ(khost::load_module("khost_selftest_mod"), 0);
	int fd = ks_export();
	ASSERT_GE(fd, 0);
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), -EAGAIN);	/* the buffer pins its exporter */
	struct device dev = {};
	EXPECT_GE(ks_import(fd, &dev), 0x100000000ull);
	int err = 0;
	EXPECT_NE(khost::mmap(khost::fd_file(fd), 2 * 4096, 0, &err), nullptr);
	EXPECT_EQ(khost::mmap(khost::fd_file(fd), 4096, 2, &err), nullptr);	/* beyond the end */
	EXPECT_EQ(err, -EINVAL);
	EXPECT_EQ(ks_buf_released, 0);
	EXPECT_EQ(khost::close_fd(fd), 0);
	EXPECT_EQ(ks_buf_released, 1);
	EXPECT_EQ(khost::close_fd(fd), -EBADF);
	EXPECT_EQ(khost::unload_module("khost_selftest_mod"), 0);
}

TEST_F(Bed, CoherentMemoryKeepsOldContentsWithoutAKernelMappingAndMapsOnlyWithinItself)
{
	struct device dev = {};
	dma_addr_t h = 0;
	auto *mapped = (uint8_t *)dma_alloc_attrs(&dev, 8192, &h, GFP_KERNEL, 0);
	auto *bare = (uint8_t *)dma_alloc_attrs(&dev, 8192, &h, GFP_KERNEL, DMA_ATTR_NO_KERNEL_MAPPING);
	ASSERT_TRUE(mapped && bare);
	EXPECT_EQ(mapped[100], 0);
	EXPECT_NE(bare[100], 0);	/* dma-direct skips the zeroing */

	struct vm_area_struct vma = {};
	vma.vm_start = 0x7f0000000000UL;
	vma.vm_end = vma.vm_start + 4096;
	vma.vm_pgoff = 1;
	EXPECT_EQ(dma_mmap_coherent(&dev, &vma, bare, h, 8192), 0);
	vma.vm_end += 4096;	/* one page past the end */
	EXPECT_EQ(dma_mmap_coherent(&dev, &vma, bare, h, 8192), -ENXIO);
	dma_free_attrs(&dev, 8192, bare, h, DMA_ATTR_NO_KERNEL_MAPPING);
	dma_free_coherent(&dev, 8192, mapped, virt_to_phys(mapped));
}

TEST_F(Bed, OutFencesSignalFromInterruptsAndWaitersWake)
{
	int fd = ks_out_fence();
	struct dma_fence *f = sync_file_get_fence(fd);
	ASSERT_NE(f, nullptr);
	EXPECT_FALSE(dma_fence_is_signaled(f));
	EXPECT_EQ(dma_fence_wait_timeout(f, true, 5), 0);
	std::thread irq([] {
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
		khost::run_in_irq([] { ks_signal_fence(); });
	});
	EXPECT_GT(dma_fence_wait_timeout(f, true, 2500), 0);
	irq.join();
	EXPECT_TRUE(dma_fence_is_signaled(f));
	dma_fence_put(f);
	EXPECT_EQ(khost::close_fd(fd), 0);
}

} // namespace
