// SPDX-License-Identifier: GPL-2.0
/* Views of the 2D engine core's state for the tests. */
#include "ker_gpu.h"

int kgpu_test_hwnum(void) { return g_KerGpuCtx.HwNum; }
u32 kgpu_test_version(void) { return g_KerGpuCtx.Hw ? g_KerGpuCtx.Hw[0].HwVersion : 0; }
u32 kgpu_test_regbase(int hw) { return g_KerGpuCtx.HwReg ? g_KerGpuCtx.HwReg[hw].Gpu_RegBase : 0; }
u32 kgpu_test_irq(int hw) { return g_KerGpuCtx.Hw ? g_KerGpuCtx.Hw[hw].Irq : 0; }
int kgpu_test_sem_count(int hw) { return g_KerGpuCtx.Hw ? g_KerGpuCtx.Hw[hw].Sem.count : -1; }
int kgpu_test_nonblock(int hw) { return g_KerGpuCtx.Hw ? (int)g_KerGpuCtx.Hw[hw].NonBlock : -1; }
int kgpu_test_suspended(int hw) { return g_KerGpuCtx.Hw ? (int)g_KerGpuCtx.Hw[hw].PmiSuspend : -1; }
int kgpu_test_force_disabled(void) { return g_KerGpuCtx.DBG_ForceDisable; }
int kgpu_test_has_flush(void) { return g_KerGpuCtx.pfnFlushAll != NULL; }
