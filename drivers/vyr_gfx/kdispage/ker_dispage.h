/* SPDX-License-Identifier: GPL-2.0 */
/* DispAge driver core: the driver context and what its debug menu uses. */
#ifndef KER_DISPAGE_H
#define KER_DISPAGE_H

#include <linux/types.h>
#include <linux/semaphore.h>
#include <linux/completion.h>
#include <linux/atomic.h>
#include <linux/cdev.h>
#include <linux/device.h>
#include "crv_platform.h"
#include "uapi/vyr_dispage.h"

struct device_node;

typedef struct ST_KER_DISPAGE_CTX {
	struct semaphore Sem;		/* engine ownership */
	void __iomem *pRegBase;		/* 0xFC058200 */
	void __iomem *pSecureRegBase;	/* 0xFC3A0000 */
	void __iomem *pLpaeReg;		/* 0xFD650188, chips Q2 and Q5 only */
	void __iomem *pAgeDispAgeIntReg;	/* 0xFC05F000 */
	void __iomem *pAgeIntReg;	/* 0xFC058400 */
	u32 u32Irq;
	s32 s32IrqAffinity;		/* -1: none */
	struct completion Done;		/* completed by the interrupt */
	atomic_t u32PmiSuspend;		/* non-zero while suspended */
	atomic_t u32HwBusy;		/* non-zero while a run is in progress */
	dev_t DevNo;
	struct cdev Cdev;
	struct class *pClass;
	struct device *pDevice;
	/* What start-up made, so that stopping releases exactly that. */
	bool bCdevAdded;
	bool bIrqRequested;
	struct device_node *pNode;
} ST_KER_DISPAGE_CTX;

extern ST_KER_DISPAGE_CTX g_KerDispAgeCtx;
extern const ST_DRV_DBG_MENU_ENTRY _KerDispAgeDbgMenu[];

int KDispAge_lend_request(int (*pfUseHw)(void *), void *arg);
int KDispAge_share_irq(int (*pfUseHw)(void *), void *arg);
int KDispAge_Read_Interrupt_Count(int (*pfUseHw)(void *), void *arg);
int KDispAge_bat(ST_KDISPAGE_BAT *pstBat);
void *_KDispAge_alloc_buffer(u32 u32Size, dma_addr_t *pPhys);
void _KDispAge_free_buffer(void *va, dma_addr_t phys, u32 u32Size);
u32 Ker_DispAge_GetPlaneSize(const ST_KDISPAGE_PLANE *pstPlane, int s32Column);
void Ker_DispAge_Disable_All_DbgMask(void);
void Ker_DispAge_ToggleDbgMask(u32 u32Row);
void Ker_DispAge_PrintDbgGroup(void);
/* Frees the debug menu's test pages. */
void _KDispAge_DbgFreePages(void);

#endif /* KER_DISPAGE_H */
