/* SPDX-License-Identifier: GPL-2.0 */
/* Start and stop functions of the module's components. */
#ifndef VYR_COMPONENTS_H
#define VYR_COMPONENTS_H

int KER_GPU_DrvInit(void);
void KER_GPU_DrvExit(void);
int KER_DispAge_DrvInit(void);
void KER_DispAge_DrvExit(void);
int KER_XDMA_DrvInit(void);
void KER_XDMA_DrvExit(void);
int KER_HDMA_DrvInit(void);
void KER_HDMA_DrvExit(void);
int KER_OSD_DrvInit(void);
void KER_OSD_DrvExit(void);
int KER_GAI_DrvInit(void);
void KER_GAI_DrvExit(void);

#endif
