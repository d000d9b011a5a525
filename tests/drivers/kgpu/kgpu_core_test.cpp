// 2D engine core: start-up per chip, the device and its ioctl dispatch,
// blocking and non-blocking operations, power hooks, exit.
#include "kgpu_fixture.hpp"

extern "C" {
#include "kgpu_op_fake.h"
}

#include <atomic>

namespace {

// The core over the recording operation layer.
class Gpu : public kgpu::Gpu {
protected:
	void SetUp() override
	{
		kgpu_fake = {};
		kgpu_fake.status_result = -16;
		kgpu::Gpu::SetUp();
	}
};
using kgpu::contains;

TEST_F(Gpu, ChipIdSelectsVersionEnginesAndRegisterWindows)
{
	load(kgpu::kChipQ5);
	EXPECT_EQ(kgpu_test_version(), 4u);
	EXPECT_EQ(kgpu_test_hwnum(), 2);
	EXPECT_EQ(kgpu_test_regbase(0), 0xFC650000u);
	EXPECT_EQ(kgpu_test_regbase(1), 0xFC370000u);
	EXPECT_EQ(kgpu_test_irq(0), kgpu::kIrq0);
	EXPECT_EQ(kgpu_test_irq(1), kgpu::kIrq1);
	/* The operation layer gets the record once, issues switched off. */
	ASSERT_EQ(kgpu_fake.initial_calls, 1);
	EXPECT_EQ(kgpu_fake.init.HwVersion, 4u);
	EXPECT_EQ(kgpu_fake.init.HwNum, 2);
	EXPECT_EQ(kgpu_fake.init.HwFeature, 0x6u);
	EXPECT_EQ(kgpu_fake.init.FeatureMask, 0x6u);
	EXPECT_EQ(kgpu_fake.init.HwIssue, 0u);
	EXPECT_EQ(kgpu_fake.init.IssueMask, 0u);
	EXPECT_EQ(kgpu_fake.init.pstHwReg[1].Cpu_RegBase, 0xFC370400u);
	EXPECT_NE(kgpu_fake.init.pstHwReg[1].Gpu_RegReMap, nullptr);
	EXPECT_EQ(g_GpuHwFeature, 0x6u);
	EXPECT_EQ(sizeof(ST_KER_GPU_INIT), 96u);
	EXPECT_EQ(sizeof(KER_GPU_PLANE), 192u);
}

TEST_F(Gpu, UnknownChipFallsBackToTheSingleEngineOfVersion3)
{
	ASSERT_EQ(khost::set_param("vyr_gfx", "g_GpuDbgMask", "3"), 0);
	load(0x7fffffff, false);
	EXPECT_EQ(kgpu_test_version(), 3u);
	EXPECT_EQ(kgpu_test_hwnum(), 1);
	EXPECT_EQ(kgpu_test_regbase(0), 0xFC650000u);
	auto log = khost::log();
	EXPECT_TRUE(contains(log, "[WRN_DRV_GPU]KER_GPU_DrvInit(): KER_SYS_GetChipType = 7FFFFFFF\n"));
	EXPECT_TRUE(contains(log, "[WRN_DRV_GPU]KER_GPU_DrvInit(): Use default ChipType = 51323030\n"));
}

TEST_F(Gpu, OtherChipsGetVersion2)
{
	load(0x12345678, false);
	EXPECT_EQ(kgpu_test_version(), 2u);
	EXPECT_EQ(kgpu_test_regbase(0), 0xFC050000u);
	EXPECT_EQ(kgpu_fake.init.HwFeature, 0x2u);
}

TEST_F(Gpu, MissingSecondNodeLeavesNoDeviceAndNothingHeld)
{
	load(kgpu::kChipQ5, false);
	auto log = khost::log();
	EXPECT_TRUE(contains(log, "crkgpu2 node not found !!!!\n"));
	EXPECT_TRUE(contains(log, "can't request IRQ for crkgpu2\n"));
	EXPECT_EQ(khost::open("crkgpu"), nullptr);
	EXPECT_EQ(kgpu_fake.initial_calls, 0);
	EXPECT_EQ(kgpu_test_hwnum(), 0);
	/* Nothing of the failed start may remain once it is over. */
}

TEST_F(Gpu, FailedOperationLayerStartTearsTheDeviceDown)
{
	kgpu_fake.initial_result = -1;
	load();
	EXPECT_TRUE(contains(khost::log(), "Initial Age Op Fail !!!!!!\n"));
	EXPECT_EQ(khost::open("crkgpu"), nullptr);
}

TEST_F(Gpu, FlushSymbolsAreHeldFromStartToExit)
{
	static std::atomic<int> flushes{0};
	static void (*flush)(void) = [] { flushes++; };
	khost::add_symbol("vyr_hwmem_flush_all", (void *)flush);
	khost::add_symbol("vyr_hwmem_flush_range", (void *)flush);
	load();
	EXPECT_EQ(khost::symbol_refs("vyr_hwmem_flush_all"), 1);
	EXPECT_EQ(khost::symbol_refs("vyr_hwmem_flush_range"), 1);
	EXPECT_EQ(ioctl(KGPU_IOC_FLUSH_ALL, nullptr), 0);
	EXPECT_EQ(flushes.load(), 1);
	unload();
	EXPECT_EQ(khost::symbol_refs("vyr_hwmem_flush_all"), 0);
	EXPECT_EQ(khost::symbol_refs("vyr_hwmem_flush_range"), 0);
}

TEST_F(Gpu, FlushWithoutTheSymbolOnlySaysSo)
{
	load();
	EXPECT_EQ(ioctl(KGPU_IOC_FLUSH_ALL, nullptr), 0);
	EXPECT_TRUE(contains(khost::log(), "can't find symbol vyr_hwmem_flush_all! Please update uImage!\n"));
}

/* ---- ioctl dispatch ---- */

TEST_F(Gpu, DispatchUsesOnlyTheNumberByte)
{
	load();
	uint32_t id = 0;
	EXPECT_EQ(ioctl(_IOR('x', 31, uint32_t), &id), 0);
	EXPECT_EQ(id, kgpu::kChipQ5);
	khost::clear_log();
	EXPECT_EQ(ioctl(_IOWR('g', 99, uint64_t), nullptr), -524);
	EXPECT_EQ(khost::log(), "unknow cmd in kgpu_ioctl() arguments, nr = 99, size = 8\n");
	EXPECT_EQ(ioctl(_IO('g', 33), nullptr), -524);
}

// What a caller can repeat in a loop reaches the log in bursts only.
TEST_F(Gpu, LinesACallerCanRepeatAreRateLimited)
{
	load();
	ST_KGPU_SYNC_RANGE r = {khost::foreign_ram(), 4096, 1};
	ST_KGPU_MEM_ALLOC a = {};
	a.u32Provider = 7;
	for (int i = 0; i < 50; i++) {
		ioctl(_IO('g', 99), nullptr);
		ioctl(KGPU_IOC_FLUSH_ALL, nullptr);
		ioctl(KGPU_IOC_SYNC_OWN, &r);
		ioctl(KGPU_IOC_MEM_ALLOC, &a);
		ioctl(KGPU_IOC_EXEC, nullptr);
	}
	for (const char *text : {"unknow cmd", "can't find symbol", "kgpu_ioctl(a0000000", "enGMP",
				 "fail copy from user"})
		EXPECT_LE(khost::log_count(text), 10u) << text;
}

TEST_F(Gpu, BadUserPointersFailWithEfault)
{
	load();
	EXPECT_EQ(ioctl(KGPU_IOC_GET_CHIP_ID, nullptr), -14);
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC, nullptr), -14);
	EXPECT_EQ(ioctl(KGPU_IOC_MEM_ALLOC, nullptr), -14);
	EXPECT_EQ(ioctl(KGPU_IOC_EXEC, nullptr), -14);
	EXPECT_EQ(ioctl(KGPU_IOC_BUF_EXCHANGE, nullptr), -14);
	EXPECT_TRUE(contains(khost::log(), "GPU : fail copy from user \n"));
	EXPECT_TRUE(contains(khost::log(), "GPU : fail copy to user \n"));
}

TEST_F(Gpu, SyncRangesAreBoundedAndChecked)
{
	load();
	phys_addr_t ram = khost::foreign_ram();
	ST_KGPU_SYNC_RANGE r[2] = {{ram, 4096, 1}, {ram + 4096, 4096, 0}};
	ST_KGPU_SYNC_RANGES rs = {(uint64_t)(uintptr_t)r, 2, {}};
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_RANGES, &rs), 0);
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC, &r[0]), 0);

	/* RAM past the engine's 32-bit mask would be synced in a bounce buffer. */
	ST_KGPU_SYNC_RANGE high = {khost::phys_alloc(8192), 8192, 1};
	ST_KGPU_SYNC_RANGES hs = {(uint64_t)(uintptr_t)&high, 1, {}};
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC, &high), -22);
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_RANGES, &hs), -22);

	rs.u16Count = 0x8000;
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_RANGES, &rs), -33);
	EXPECT_TRUE(contains(khost::log(), "_kgpu_sync_ranges() 32768 ranges, it's a impossible number !!!! \n"));

	/* More ranges claimed than the user memory holds. */
	khost::poison_user((char *)r + sizeof(r), 16);
	rs.u16Count = 3;
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_RANGES, &rs), -14);

	/* Register space and wrapping ranges are never synced. */
	ST_KGPU_SYNC_RANGE bad = {0xFC650000ull, 4096, 1};
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC, &bad), -22);
	ST_KGPU_SYNC_RANGE wrap = {~0ull - 10, 4096, 1};
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC, &wrap), -22);

	/* A 32-bit caller's record. */
	auto *r32 = (ST_KGPU_SYNC_RANGE *)khost::compat_alloc(sizeof(r));
	memcpy(r32, r, sizeof(r));
	auto *rs32 = (ST_KGPU_SYNC_RANGES32 *)khost::compat_alloc(sizeof(ST_KGPU_SYNC_RANGES32));
	*rs32 = {(uint32_t)(uintptr_t)r32, 2, 0};
	EXPECT_EQ(khost::compat_ioctl(dev(), KGPU_IOC_SYNC_RANGES32, (unsigned long)(uintptr_t)rs32), 0);
	rs32->u16Count = 0xFFFF;
	EXPECT_EQ(khost::compat_ioctl(dev(), KGPU_IOC_SYNC_RANGES32, (unsigned long)(uintptr_t)rs32), -33);
}

TEST_F(Gpu, SyncOfAnAddressTheProviderDoesNotKnowIsRefused)
{
	load();
	phys_addr_t ram = khost::phys_alloc(4096);
	ST_KGPU_SYNC_RANGE r = {ram, 4096, 1};
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_OWN, &r), -524);
	EXPECT_FALSE(contains(khost::log(), "Phys is alloc by Kgpu"));

	ST_KGPU_MEM_ALLOC a = {};
	a.u32Size = 4096;
	ASSERT_EQ(ioctl(KGPU_IOC_MEM_ALLOC, &a), 0);
	r.u64Addr = a.u64PhyAddr;
	EXPECT_EQ(ioctl(KGPU_IOC_SYNC_OWN, &r), 0);
	EXPECT_TRUE(contains(khost::log(), "kgpu_mem_valid_buffer() = 1, Phys is alloc by Kgpu, \n"));
}

TEST_F(Gpu, OldHardwareOnlyCommandsDoNothingHere)
{
	load();
	ST_KGPU_STATUS st = {7, 7, {}};
	EXPECT_EQ(ioctl(KGPU_IOC_LOCK, nullptr), 0);
	EXPECT_EQ(ioctl(KGPU_IOC_UNLOCK, nullptr), 0);
	EXPECT_EQ(ioctl(KGPU_IOC_STATUS, &st), 0);
	EXPECT_EQ(st.s32Result, 7);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
	EXPECT_EQ(started(), 0);
}

TEST_F(Gpu, AnOpenWithoutMemoryForItsRecordFails)
{
	load();
	khost::fail_kmalloc_after(0);
	EXPECT_EQ(khost::open("crkgpu"), nullptr);
	EXPECT_EQ(errno, ENOMEM);
	khost::fail_kmalloc_after(-1);
}

TEST_F(Gpu, ReadTriggersEngineZeroAndReturnsFourBytes)
{
	load();
	std::string out;
	EXPECT_EQ(khost::read(dev(), out, 3), -22);
	EXPECT_EQ(khost::read(dev(), out, 4), 4);
	EXPECT_EQ(out, std::string(4, '\0'));
	EXPECT_EQ(kgpu_fake.triggers[0], 1);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

TEST_F(Gpu, NonBlockingReadLeavesTheLockAlone)
{
	load();
	struct file *f = khost::open("crkgpu", 2 | 04000);
	std::string out;
	EXPECT_EQ(khost::read(f, out, 4), 4);
	for (int i = 0; i < 200 && kgpu_test_nonblock(0); i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(kgpu_test_nonblock(0), 0);
	/* Its interrupt ran no callback and released nothing it did not take. */
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
	khost::close(f);
}

TEST_F(Gpu, MmapOfOffsetZeroIsTheEngineRegisterPageUncached)
{
	load();
	int err = 0;
	void *p = khost::mmap(dev(), 4096, 0, &err);
	EXPECT_EQ(err, 0);
	EXPECT_NE(p, nullptr);
	EXPECT_EQ(khost::mmap(dev(), 8192, 0, &err), nullptr);
	EXPECT_EQ(err, -22);
}

/* ---- operations: lock, trigger, wait ---- */

TEST_F(Gpu, BlockingOperationCompletesOnItsInterrupt)
{
	load();
	KER_GPU_PLANE dst = {};
	_ST_KER_GPU_FILL_SETTING fill = {};
	EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	EXPECT_EQ(started(), 1);
	EXPECT_EQ(kgpu_fake.run_result, 0);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

TEST_F(Gpu, BlockingOperationWithoutInterruptTimesOutBusy)
{
	auto_irq = false;
	load();
	KER_GPU_PLANE dst = {};
	_ST_KER_GPU_FILL_SETTING fill = {};
	auto t0 = std::chrono::steady_clock::now();
	EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), -16);
	auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
	EXPECT_EQ(kgpu_fake.run_result, -16);
	/* 2500 jiffies in slices of 25, asking the engine after each (a loaded
	 * host oversleeps some slices, so fewer than 100 may fit). */
	EXPECT_GE(kgpu_fake.status_calls, 10);
	EXPECT_LE(kgpu_fake.status_calls, 110);
	EXPECT_LT(ms, 5000);
	EXPECT_TRUE(contains(khost::log(), "Irq wait long time busy !!!\n"));
	EXPECT_GE(kgpu_fake.dump_calls, 1);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

TEST_F(Gpu, DoneWithoutInterruptCountsAsCompleted)
{
	auto_irq = false;
	load();
	kgpu_fake.status_result = 1;
	KER_GPU_PLANE dst = {};
	_ST_KER_GPU_FILL_SETTING fill = {};
	EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	EXPECT_EQ(kgpu_fake.status_calls, 1);
}

TEST_F(Gpu, SignalDuringTheWaitDoesNotSpin)
{
	auto_irq = false;
	load();
	khost::set_signal_pending(khost_current(), true);
	KER_GPU_PLANE dst = {};
	_ST_KER_GPU_FILL_SETTING fill = {};
	EXPECT_NE(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	khost::set_signal_pending(khost_current(), false);
	auto lines = khost::log_lines();
	int interrupted = 0;
	for (auto &l : lines)
		interrupted += contains(l.text, "waitRet = ");
	EXPECT_EQ(interrupted, 1);
}

std::atomic<int> done_calls{0};
void on_done(void *arg) { done_calls++; *(int *)arg += 1; }

TEST_F(Gpu, NonBlockingOperationHoldsTheEngineUntilItsInterrupt)
{
	auto_irq = false;
	load();
	int arg = 0;
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, on_done, &arg};
	KER_GPU_PLANE dst = {};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING fill = {};
	done_calls = 0;
	EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	EXPECT_EQ(kgpu_test_sem_count(0), 0);
	EXPECT_EQ(kgpu_test_nonblock(0), 1);
	EXPECT_EQ(done_calls.load(), 0);

	EXPECT_EQ(khost::raise_irq(kgpu::kIrq0), 1);
	EXPECT_EQ(done_calls.load(), 1);
	EXPECT_EQ(arg, 1);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
	EXPECT_EQ(kgpu_test_nonblock(0), 0);
}

TEST_F(Gpu, BackendUnlockAfterANonBlockingTriggerIsNotASecondRelease)
{
	load();
	kgpu_fake.unlock_after_nonblock = 1;
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, nullptr, nullptr};
	KER_GPU_PLANE dst = {};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING fill = {};
	for (int i = 0; i < 3; i++)
		EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	/* Each waited for the one before; all interrupts are in. */
	EXPECT_EQ(KER_GPU_Lock(0), 0);
	EXPECT_EQ(kgpu_test_sem_count(0), 0);
	KER_GPU_Unlock(0);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

TEST_F(Gpu, LockAfterALostInterruptTakesOverOnce)
{
	auto_irq = false;
	load();
	int arg = 0;
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, on_done, &arg};
	KER_GPU_PLANE dst = {};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING fill = {};
	done_calls = 0;
	ASSERT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);

	/* Nobody interrupts: the next owner waits out the deadline, then owns it. */
	EXPECT_EQ(KER_GPU_Lock(0), 0);
	EXPECT_TRUE(contains(khost::log(), "Previous NodBlock Op time out(-16) !!!!\n"));
	EXPECT_EQ(done_calls.load(), 1);
	EXPECT_EQ(kgpu_test_sem_count(0), 0);
	EXPECT_EQ(kgpu_test_nonblock(0), 0);
	/* A late interrupt releases nothing. */
	khost::raise_irq(kgpu::kIrq0);
	EXPECT_EQ(kgpu_test_sem_count(0), 0);
	EXPECT_EQ(done_calls.load(), 1);
	KER_GPU_Unlock(0);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

int resets_at_callback = -1;
void on_done_after_reset(void *) { resets_at_callback = kgpu_fake.reset_calls; }

// The callbacks of a lost operation free its command list: the engine and
// its command processor must be stopped before, not after.
TEST_F(Gpu, TakingOverALostOperationStopsTheEngineBeforeItsListIsFreed)
{
	auto_irq = false;
	load();
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, on_done_after_reset, nullptr};
	KER_GPU_PLANE dst = {};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING fill = {};
	ASSERT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	EXPECT_EQ(KER_GPU_Lock(0), 0);
	EXPECT_EQ(resets_at_callback, 1);
	KER_GPU_Unlock(0);
}

TEST_F(Gpu, SecondEngineInterruptCompletesEngineOne)
{
	auto_irq = false;
	load();
	int arg = 0;
	ST_KER_GPU_OP_OPTION opt = {1, 1, {}, on_done, &arg};
	KER_GPU_PLANE dst = {};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING fill = {};
	ASSERT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	EXPECT_EQ(kgpu_fake.triggers[1], 1);
	EXPECT_EQ(kgpu_test_sem_count(1), 0);
	khost::raise_irq(kgpu::kIrq0);
	EXPECT_EQ(kgpu_test_sem_count(1), 0);
	khost::raise_irq(kgpu::kIrq1);
	EXPECT_EQ(kgpu_test_sem_count(1), 1);
	EXPECT_EQ(arg, 1);
}

TEST_F(Gpu, InvalidEnginesAreRefused)
{
	load(kgpu::kChipQ2, false);
	EXPECT_EQ(KER_GPU_Lock(1), -19);
	EXPECT_EQ(KER_GPU_Lock(-1), -19);
	EXPECT_EQ(KER_GPU_Trigger(1, 0, nullptr, nullptr, nullptr, nullptr), -19);
	EXPECT_EQ(KER_GPU_Unlock(5), -19);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

TEST_F(Gpu, SuspendBlocksLocksUntilResume)
{
	load();
	ASSERT_EQ(khost::system_suspend(), 0);
	EXPECT_EQ(kgpu_test_suspended(0), 1);
	EXPECT_EQ(kgpu_test_suspended(1), 1);
	EXPECT_EQ(KER_GPU_Lock(0), -1);
	KER_GPU_PLANE dst = {};
	_ST_KER_GPU_FILL_SETTING fill = {};
	EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), -1);
	EXPECT_TRUE(contains(khost::log(), "_ker_gpu_pmi_suspend_p() done.\n"));
	ASSERT_EQ(khost::system_resume(), 0);
	EXPECT_EQ(kgpu_test_suspended(0), 0);
	EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	EXPECT_TRUE(contains(khost::log(), "_ker_gpu_pmi_resume_p() done.\n"));
}

TEST_F(Gpu, SuspendWaitsABoundedTimeForABusyEngine)
{
	auto_irq = false;
	ASSERT_EQ(khost::set_param("vyr_gfx", "g_GpuDbgMask", "3"), 0);
	load();
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, nullptr, nullptr};
	KER_GPU_PLANE dst = {};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING fill = {};
	ASSERT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	ASSERT_EQ(khost::system_suspend(), 0);
	EXPECT_TRUE(contains(khost::log(), "waiting for HW release !!!!!"));
	ASSERT_EQ(khost::system_resume(), 0);
	khost::raise_irq(kgpu::kIrq0);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
}

/* ---- debug menu ---- */

class Menu : public Gpu {
protected:
	void type(const std::string &lines)
	{
		ASSERT_EQ(khost::debugfs_write("crv_platform/menu", lines), 0);
		crv_dbg_wait_idle();
	}
	std::string menu()
	{
		crv_dbg_wait_idle();
		return khost::debugfs_read("crv_platform/menu");
	}
};

TEST_F(Menu, ListsItsItemsInOrder)
{
	load();
	type("Ker_Gpu\n");
	EXPECT_EQ(menu(), "menu: /Ker_Gpu (level 1)\n  0 ..\n  1 Set Dbg Msg Mask\n  2 Show GPU Version\n"
			  "  3 Self Test >\n  4 Performance Test >\n  5 Suspend Resume Test\n"
			  "  6 Debug Option >\nwaiting for: command\n");
	type("2\n");
	EXPECT_TRUE(contains(khost::log(), "_kgpu_dbg_version(): Gpu ver. = 4\n"));
}

TEST_F(Menu, MaskTogglesAndAllOff)
{
	load();
	type("Ker_Gpu\n1\n2\n6\n34\n12345\n");
	EXPECT_EQ(g_GpuDbgMask, 1u | 2u | 64u);
	EXPECT_EQ(g_GpuOpDbgMask, 1u | 2u);
	type("1\n999\n12345\n");
	EXPECT_EQ(g_GpuDbgMask, 1u);
	EXPECT_EQ(g_GpuOpDbgMask, 1u);
	EXPECT_TRUE(contains(khost::log(), "Please choose a module to toggle message: "));
	EXPECT_TRUE(contains(khost::log(), "999) ALL OFF\n"));
	g_GpuDbgMask = 1;
}

TEST_F(Menu, SuspendResumeAndForceDisable)
{
	load();
	type("Ker_Gpu\n5\n1\n");
	EXPECT_EQ(kgpu_test_suspended(0), 1);
	type("5\n2\n");
	EXPECT_EQ(kgpu_test_suspended(0), 0);
	EXPECT_TRUE(contains(khost::log(), "Suspend !!!!!\n"));
	EXPECT_TRUE(contains(khost::log(), "Resume !!!!!\n"));

	type("6\n1\n1\n");
	EXPECT_EQ(kgpu_test_force_disabled(), 1);
	EXPECT_TRUE(contains(khost::log(), "Set g_KerGpuCtx.DBG_ForceDisable = 1\n"));
	/* Forced off: a non-blocking operation still ends and frees the engine. */
	int arg = 0;
	ST_KER_GPU_OP_OPTION opt = {0, 1, {}, on_done, &arg};
	KER_GPU_PLANE dst = {};
	dst.pstOption = &opt;
	_ST_KER_GPU_FILL_SETTING fill = {};
	EXPECT_EQ(KGPU_OP_Fill(&dst, &fill, nullptr), 0);
	EXPECT_EQ(arg, 1);
	EXPECT_EQ(kgpu_test_sem_count(0), 1);
	EXPECT_EQ(started(), 0);
	type("1\n0\n");
	EXPECT_EQ(kgpu_test_force_disabled(), 0);
}

TEST_F(Menu, SpeedLimitAndSelfTestFill)
{
	load();
	type("Ker_Gpu\n6\n3\n3\n4\n");
	EXPECT_EQ(kgpu_fake.speed_num, 3u);
	EXPECT_EQ(kgpu_fake.speed_den, 4u);
	type("..\n3\n1\n3\n0x11223344\n");
	ASSERT_EQ(kgpu_fake.ncalls, 1);
	EXPECT_EQ(kgpu_fake.calls[0].fill.Color, 0x11223344u);
	EXPECT_EQ(kgpu_fake.calls[0].dst.W, 10);
	EXPECT_TRUE(contains(khost::log(), "Normal Fill to 0x"));
	type("2\n");
}

TEST_F(Menu, TwoEngineThreadCopiesAndEndsBeforeExit)
{
	load();
	type("Ker_Gpu\n3\n5\n0\n1\n");
	unload();
	EXPECT_GE(kgpu_fake.ncalls, 1);
	EXPECT_EQ(kgpu_fake.calls[0].op, FAKE_COPY);
}

} // namespace
