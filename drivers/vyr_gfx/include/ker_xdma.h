/* SPDX-License-Identifier: GPL-2.0 */
/*
 * XDMA engine services for other kernel modules: fills and copies between
 * physical addresses, run synchronously. The request is read during the call
 * only.
 */
#ifndef KER_XDMA_H
#define KER_XDMA_H

#include <linux/types.h>

typedef struct ST_XDMA_REQUEST {
	u64 u64SrcAddr;		/* physical source (blit) */
	u64 u64DstAddr;		/* physical destination */
	u32 u32ByteCount;
	u16 u16SrcStride;	/* copy with separate lines */
	u16 u16DstStride;
	u16 u16LineWidth;	/* bytes per line; 0 or the stride: contiguous */
	u16 u16Reserved;
	u32 u32FillValue;
} ST_XDMA_REQUEST;

#ifndef __cplusplus
_Static_assert(sizeof(ST_XDMA_REQUEST) == 32, "request is 32 bytes");
_Static_assert(__builtin_offsetof(ST_XDMA_REQUEST, u32FillValue) == 28, "fill value at 28");
#endif

/*
 * 0 when the transfer ran; -EINVAL before start-up, for a NULL request, an
 * address the engine cannot reach or a transfer that failed three times;
 * -EINTR while suspended or busy; -1 for a byte count of 0.
 */
int KER_XDMA_FillRect(ST_XDMA_REQUEST *pstReq);
int KER_XDMA_Blit(ST_XDMA_REQUEST *pstReq);

#endif /* KER_XDMA_H */
