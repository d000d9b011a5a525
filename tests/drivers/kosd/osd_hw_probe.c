// SPDX-License-Identifier: GPL-2.0
/*
 * Test side of the OSD hardware layer, built as kernel code: the plane
 * framebuffers and contexts the framebuffer layer would own, and views of
 * the operation table.
 */
#include <linux/kernel.h>
#include <linux/fb.h>
#include <linux/semaphore.h>
#include <linux/string.h>

#include "osd_hw_probe.h"

static struct fb_info gastProbeFb[OSD_PLANE_MAX];
static ST_KER_OSD_PLANE_CTX gastProbeCtx[OSD_PLANE_MAX];
static ST_DRV_OSD_GLOBAL_SETTING gastProbeSetting[2];

void osd_probe_attach(void)
{
	int p;

	memset(gastProbeCtx, 0, sizeof(gastProbeCtx));
	memset(gastProbeSetting, 0, sizeof(gastProbeSetting));
	for (p = 0; p < OSD_PLANE_MAX; p++) {
		ST_KER_OSD_PLANE_CTX *c = &gastProbeCtx[p];

		c->enPlaneID = p;
		c->pstGlobalSetting = &gastProbeSetting[OSD_IS_CURSOR(p)];
		sema_init(&c->stSem, 1);
		gastProbeFb[p].par = c;
		_ker_osd_Set_FbInfoPointer(p, &gastProbeFb[p]);
	}
}

void osd_probe_detach(void)
{
	int p;

	for (p = 0; p < OSD_PLANE_MAX; p++)
		_ker_osd_Set_FbInfoPointer(p, NULL);
}

ST_KER_OSD_PLANE_CTX *osd_probe_ctx(int p)
{
	return &gastProbeCtx[p];
}

ST_DRV_OSD_GLOBAL_SETTING *osd_probe_setting(int p)
{
	return &gastProbeSetting[OSD_IS_CURSOR(p)];
}

int osd_probe_sem_trydown(int p)
{
	return down_trylock(&gastProbeCtx[p].stSem);
}

void osd_probe_sem_up(int p)
{
	up(&gastProbeCtx[p].stSem);
}

/* What a semaphore can still give: taken until it refuses, then given back. */
int osd_probe_sem_count(int p)
{
	int n = 0;

	while (n < 8 && !down_trylock(&gastProbeCtx[p].stSem))
		n++;
	for (int i = 0; i < n; i++)
		up(&gastProbeCtx[p].stSem);
	return n;
}

#define KIND_OP(idx, slot, fn, ret, args) [idx] = OSD_PROBE_SLOT_OP,
#define KIND_LATER(idx, slot, fn, ret, args) [idx] = OSD_PROBE_SLOT_LATER,
#define KIND_NUL(idx, slot, ret, args) [idx] = OSD_PROBE_SLOT_NUL,

static const int gaiSlotKind[KER_OSD_SLOT_COUNT] = {
	KER_OSD_DRIVER_SLOTS(KIND_OP, KIND_LATER, KIND_NUL)
};

int osd_probe_slot_kind(int i)
{
	return gaiSlotKind[i];
}

int osd_probe_slot_filled(int i)
{
	void (*slots[KER_OSD_SLOT_COUNT])(void);

	memcpy(slots, _ker_osd_Get_DriverCallback(), sizeof(slots));
	return slots[i] != NULL;
}
