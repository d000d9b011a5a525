/* SPDX-License-Identifier: GPL-2.0 */
/*
 * HDMA engine services for other kernel modules: copies, fills and
 * data-address lists into on-chip memories and register banks, optionally
 * started at a display line. The record is read during the call only.
 */
#ifndef KER_HDMA_H
#define KER_HDMA_H

#include <linux/types.h>

#define HDMA_MODE_COPY_DST_INCRE	0
#define HDMA_MODE_COPY_DST_FIXED	1
#define HDMA_MODE_FILL_DST_INCRE	2
#define HDMA_MODE_FILL_DST_FIXED	3
#define HDMA_MODE_DATA_ADDR		4

typedef struct ST_HDMA_TRANSFER {
	u32 Reserved;		/* callers set 1 */
	u32 DMAMode;		/* HDMA_MODE_* */
	u32 TriggerMode;	/* 0: at once; else at HLine of a display path */
	u32 HLine;
	/*
	 * Copy and data-address source: a kernel address whose Size bytes are
	 * staged in the driver's buffer, or, when Size exceeds that buffer, a
	 * physical address (a linear-map kernel address is translated).
	 */
	u64 SrcAddr;
	u64 DstAddr;		/* physical destination (copy, fill) */
	u32 Size;
	u32 FillData;
} ST_HDMA_TRANSFER;

#ifndef __cplusplus
_Static_assert(sizeof(ST_HDMA_TRANSFER) == 40, "transfer record is 40 bytes");
_Static_assert(__builtin_offsetof(ST_HDMA_TRANSFER, SrcAddr) == 16, "source at 16");
_Static_assert(__builtin_offsetof(ST_HDMA_TRANSFER, FillData) == 36, "fill word at 36");
#endif

/*
 * Blocking, up to three attempts: 0, 22 (positive) before start-up or
 * without the staging buffer, -4 while suspended, -22 for a bad record,
 * -1 for an unsupported mode or no free channel, -16 on a timeout.
 */
int DRV_HdmaTransfer(ST_HDMA_TRANSFER *pstTransfer);
/*
 * Starts the transfer and returns 0; a kernel thread waits for its end and
 * releases the engine. Kernel memory too large to stage is read in place,
 * so that transfer is waited for here (one attempt) and its result
 * returned, as it is when no thread can be started; a physical source is
 * the caller's to keep until the transfer ends. Errors as above when
 * nothing was started.
 */
int DRV_HdmaTransfer_forQE(ST_HDMA_TRANSFER *pstTransfer);

#endif /* KER_HDMA_H */
