/* SPDX-License-Identifier: GPL-2.0 */
/* XDMA driver layer: what its debug menu reaches. */
#ifndef KER_XDMA_PRIV_H
#define KER_XDMA_PRIV_H

#include <linux/types.h>
#include "ker_xdma.h"
#include "uapi/vyr_xdma.h"

extern u32 g_KerXDMADbgMask;
extern const struct ST_DRV_DBG_MENU_ENTRY g_stXdmaDbgMenu[];

/* Submits a command list held in kernel memory (copied); the engine stays held until it ends. */
int KER_XDMA_CMD(const struct vyr_xdma_cmd *pstCommands, u32 u32Count);
/* True while a transfer or a command list holds the engine. */
bool KER_XDMA_IsBusy(void);
int _ker_xdma_suspend(void);
int _ker_xdma_resume(void);

#endif /* KER_XDMA_PRIV_H */
