/* SPDX-License-Identifier: GPL-2.0 */
/* 2D engine driver core: the context the core's files share. */
#ifndef KER_GPU_H
#define KER_GPU_H

#include <linux/types.h>
#include <linux/cdev.h>
#include <linux/completion.h>
#include <linux/semaphore.h>
#include <linux/spinlock.h>
#include <linux/atomic.h>
#include <linux/dma-direction.h>
#include <linux/printk.h>
#include <linux/ratelimit.h>
#include "ker_gpu_if.h"
#include "uapi/vyr_gpu.h"

/* g_GpuDbgMask bits. */
#define KGPU_DBG_ERR		BIT(0)
#define KGPU_DBG_WRN		BIT(1)
#define KGPU_DBG_MSG		BIT(2)
#define KGPU_DBG_TRC		BIT(3)
#define KGPU_DBG_TIME		BIT(4)
#define KGPU_DBG_WORKQ		BIT(5)
#define KGPU_DBG_DUMP		BIT(6)

/* Errors and warnings a caller can repeat come at most in bursts. */
#define KGPU_ERR(fmt, ...) do { if (READ_ONCE(g_GpuDbgMask) & KGPU_DBG_ERR) \
	printk_ratelimited(KERN_ERR "\033[0;31m[ERR_DRV_GPU]\033[0m" fmt, ##__VA_ARGS__); } while (0)
#define KGPU_WRN(fmt, ...) do { if (READ_ONCE(g_GpuDbgMask) & KGPU_DBG_WRN) \
	printk_ratelimited(KERN_WARNING "[WRN_DRV_GPU]" fmt, ##__VA_ARGS__); } while (0)
#define KGPU_MSG(fmt, ...) do { if (READ_ONCE(g_GpuDbgMask) & KGPU_DBG_MSG) \
	printk(KERN_INFO "[DBG_DRV_GPU]" fmt, ##__VA_ARGS__); } while (0)
#define KGPU_TRC(fmt, ...) do { if (READ_ONCE(g_GpuDbgMask) & KGPU_DBG_TRC) \
	printk(KERN_INFO "[TRC_DRV_GPU]" fmt, ##__VA_ARGS__); } while (0)

/* g_GpuOpDbgMask bits the exec layer prints under. */
#define KGPU_OP_DBG_ERR		BIT(0)
#define KGPU_OP_DBG_TRC		BIT(4)
#define KGPU_OP_ERR(fmt, ...) do { if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_ERR) \
	printk_ratelimited(KERN_ERR "\033[0;31m[ERR]\033[0m" fmt, ##__VA_ARGS__); } while (0)
#define KGPU_OP_TRC(fmt, ...) do { if (READ_ONCE(g_GpuOpDbgMask) & KGPU_OP_DBG_TRC) \
	printk(KERN_INFO "[TRC]" fmt, ##__VA_ARGS__); } while (0)

/* Blocking waits: slices and the overall limit, in jiffies. */
#define KGPU_WAIT_SLICE		25
#define KGPU_WAIT_LIMIT		2500
/* Suspend waits this long for a busy engine, in jiffies. */
#define KGPU_SUSPEND_WAIT	500

/* Chip ids. */
#define KGPU_CHIP_ID_Q2		0x51323030u
#define KGPU_CHIP_ID_Q5		0x51353030u

/* One engine. */
typedef struct {
	struct semaphore Sem;		/* ownership */
	u32 HwVersion;
	u32 Irq;
	s32 IrqAffinity;		/* CPU, -1 none */
	struct completion IrqCompletion;
	spinlock_t Lock;		/* trigger write, non-block state */
	atomic_t Busy;
	u32 PmiSuspend;
	u32 NonBlock;
	u64 NonBlockDeadline;
	KER_GPU_CALLBACK pfnCb1;
	void *pCb1Arg;
	KER_GPU_CALLBACK pfnCb2;
	void *pCb2Arg;
	/* The pending non-blocking operation owns the semaphore. */
	u32 ReleaseOnIrq;
	/* Task whose unlock right after its non-blocking trigger is ignored. */
	struct task_struct *pHandOffTask;
	u32 IrqRequested;
	u32 IrqDisabled;
} ST_KER_GPU_HW;

typedef struct {
	s32 HwNum;
	ST_KER_GPU_HW *Hw;
	ST_KER_GPU_HW_REG *HwReg;
	dev_t DevNum;
	struct cdev Cdev;
	struct class *pClass;
	struct device *pDevice;
	void (*pfnFlushAll)(void);
	void *pfnFlushRange;
	u32 HwFeature;
	u32 HwIssue;
	u32 DBG_ForceDisable;
	/* Internal state. */
	u32 CdevAdded;
	u32 Ready;			/* start-up finished: interrupts are ours */
	u32 MenuRegistered;
} ST_KER_GPU_CTX;

/* Per-open record (file private data). */
typedef struct {
	pid_t Pid;
	u32 Reserved;
	struct device *pDevice;
	u64 Reserved2[2];
} ST_KGPU_FILE;

extern ST_KER_GPU_CTX g_KerGpuCtx;
extern u32 g_kgpu_chipID;
extern u32 g_kgpu_hw_settings[5][5];

int _ker_gpu_pmi_suspend_p(void);
int _ker_gpu_pmi_resume_p(void);

/* Exec layer (ker_gpu_exec.c). */
int kgpu_exec_ioctl(struct file *filp, ST_KGPU_EXEC *pstExec);

/* Memory provider (ker_gpu_mem.c). */
typedef struct {
	u32 u32PlaneNum;
	u64 u64Addr[KGPU_BUF_PLANES];
	u64 u64Size[KGPU_BUF_PLANES];
} ST_KGPU_DMA_BUF_DESC;

/* One allocation; a reference keeps its memory. */
typedef struct kgpu_mem_rec ST_KGPU_MEM_RECORD;

int kgpu_mem_device_create(void);
int kgpu_mem_alloc(ST_KGPU_MEM_ALLOC *pstReq, const struct file *owner);
int kgpu_mem_free(u64 u64PhyAddr, const struct file *owner);
void kgpu_mem_device_destroy(void);
void kgpu_mem_release(const struct file *owner);
int kgpu_mem_get(const struct file *owner, u64 u64Addr, u64 u64Size, ST_KGPU_MEM_RECORD **ppRec);
void kgpu_mem_put(ST_KGPU_MEM_RECORD *pRec);
void kgpu_mem_range(const ST_KGPU_MEM_RECORD *pRec, u64 *pu64Start, u64 *pu64End);
void kgpu_mem_sync(const ST_KGPU_MEM_RECORD *pRec, u64 u64Addr, u32 u32Size, bool bForCpu);
int kgpu_mem_map_direct(struct device *dev, u64 phys, u64 size, enum dma_data_direction dir,
			dma_addr_t *dma);
int kgpu_mem_mmap(ST_KGPU_MEM_RECORD *pRec, u64 u64Addr, struct vm_area_struct *vma,
		  bool bUncached);
ST_KGPU_MEM_RECORD *kgpu_mem_info_get(u64 u64PhyAddr);
unsigned long kgpu_mem_map(u64 u64PhyAddr);
int kgpu_mem_valid_buffer(u64 u64PhyAddr);
void kgpu_mem_show_all(void);
int kgpu_dma_buf_fd(struct file *filp, ST_KGPU_DMA_BUF_DESC *pstDesc, int flags);
int kgpu_dma_buf_phys(struct file *filp, int fd, ST_KGPU_DMA_BUF_DESC *pstDesc);

/* Debug menu (ker_gpu_dbg.c). */
int kgpu_dbg_register(void);
void kgpu_dbg_exit(void);

#endif /* KER_GPU_H */
