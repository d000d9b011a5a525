/* SPDX-License-Identifier: GPL-2.0 */
/* HDMA driver layer: what the self-tests and the debug menu reach. */
#ifndef KER_HDMA_PRIV_H
#define KER_HDMA_PRIV_H

#include <linux/types.h>
#include <linux/semaphore.h>
#include <linux/atomic.h>
#include "crv_platform.h"

typedef struct ST_HDMA_BAT_PARAM {
	u32 u32Trigger;		/* 0 at once, 1 DP h-line, 2 OSD h-line */
	u32 u32Count;		/* runs; 0 endless */
} ST_HDMA_BAT_PARAM;

extern u32 g_HDMA_sem_max;
extern u32 g_HDMA_initial;
extern const ST_DRV_DBG_MENU_ENTRY g_stHdmaDbgMenu[];

int _KER_HDMA_Bat(u32 u32Test, const ST_HDMA_BAT_PARAM *pstParam);
int _KER_HDMA_other_reg_remap(void);
void _KER_HDMA_other_reg_unmap(void);
int _KER_HDMA_SetSemMax(u32 u32Max);
int _ker_hdma_suspend_p(void);
int _ker_hdma_resume_p(void);
void _set_PQ_Port(u32 port);
int _dbgFun_HDMA_thread_PQ(void *data);
int DRV_HDMA_Init(void);
int DRV_HDMA_Open(void);
void _KER_HDMA_start_timer(void);
void _KER_HDMA_end_timer(void);
u32 _KER_HDMA_GetChipID(void);

/* Stops and joins the test threads the menu started. */
void _KER_HDMA_StopMenuThreads(void);

#endif /* KER_HDMA_PRIV_H */
