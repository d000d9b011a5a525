// SPDX-License-Identifier: GPL-2.0
/*
 * OSD hardware layer: the layer's own state (plane objects, register
 * shadow, palette and update words, vsync and scroll contexts), the
 * operation table, register access, identifier checks and the completion
 * waits. The other hal_osd_* files build on this one.
 */
#include <linux/kernel.h>
#include <linux/fb.h>
#include <linux/io.h>
#include <linux/ioport.h>
#include <linux/delay.h>
#include <linux/mutex.h>
#include <asm/processor.h>

#include "hal_osd.h"

u32 gu32APITraceCtl;

/* ------------------------------------------------------------------ */
/* State of the layer                                                   */
/* ------------------------------------------------------------------ */

u8 gau8PalettePending[OSD_PLANE_MAX];
u8 gau8ForceDisable[OSD_PLANE_MAX];
u32 gatPaletteMutexUp;
u32 gatIsOsdVisible;
DEFINE_SPINLOCK(gstOsdUpdateLock);
ST_SIZE gstVideoWinSize;
u32 genOSDTimingMode;

ST_KER_OSD_VSYNC_CTX gastVSyncContext[OSD_VSYNC_CTX_NUM];
ST_KER_OSD_SCROLL_TASK_CTX gstScrollContext;
u32 gu32ATVCheckCount;
u32 gu32SignalRetryCount;

/* The plane framebuffers handed down by the framebuffer layer. */
static struct fb_info *gapstFbInfo[OSD_PLANE_MAX];

/* Told of every vsync, per plane; set by the layer above. */
static void (*gpfVSyncCallback)(EN_DRV_OSD_PLANE_ID enPlane, u32 u32Taken);

ST_KER_OSD_PLANE_CTX *osd_ctx(EN_DRV_OSD_PLANE_ID enPlane)
{
	struct fb_info *info;

	if ((u32)enPlane >= OSD_PLANE_MAX)
		return NULL;
	info = READ_ONCE(gapstFbInfo[enPlane]);
	return info ? info->par : NULL;
}

ST_DRV_OSD_GLOBAL_SETTING *osd_setting(EN_DRV_OSD_PLANE_ID enPlane)
{
	ST_KER_OSD_PLANE_CTX *pstCtx = osd_ctx(enPlane);

	return pstCtx ? pstCtx->pstGlobalSetting : NULL;
}

void _ker_osd_Set_FbInfoPointer(EN_DRV_OSD_PLANE_ID enPlane, struct fb_info *pstFbInfo)
{
	OSD_ENTER();
	OSD_CHECK_PLANE(enPlane);
	WRITE_ONCE(gapstFbInfo[enPlane], pstFbInfo);
	OSD_LEAVE();
}

void _ker_osd_Set_VSyncCallback(void (*pfCallback)(EN_DRV_OSD_PLANE_ID enPlane, u32 u32Taken))
{
	WRITE_ONCE(gpfVSyncCallback, pfCallback);
}

/* ------------------------------------------------------------------ */
/* Operation table                                                      */
/* ------------------------------------------------------------------ */

#define KOSD_INIT_OP(idx, slot, fn, ret, args) .slot = fn,
#define KOSD_INIT_LATER(idx, slot, fn, ret, args)
#define KOSD_INIT_NUL(idx, slot, ret, args)

static ST_KER_OSD_DRIVER_CALLBACK gstDriverCallbackList = {
	KER_OSD_DRIVER_SLOTS(KOSD_INIT_OP, KOSD_INIT_LATER, KOSD_INIT_NUL)
};

#define KOSD_NAME_OP(idx, slot, fn, ret, args) [idx] = #slot,
#define KOSD_NAME_NUL(idx, slot, ret, args) [idx] = #slot,

const char *const gapszKerOsdSlotName[KER_OSD_SLOT_COUNT] = {
	KER_OSD_DRIVER_SLOTS(KOSD_NAME_OP, KOSD_NAME_OP, KOSD_NAME_NUL)
};

/* Every slot sits at the place its number gives. */
#define KOSD_PLACE_OP(idx, slot, fn, ret, args)					\
	_Static_assert(offsetof(ST_KER_OSD_DRIVER_CALLBACK, slot) ==		\
		       (idx) * sizeof(void (*)(void)), #slot);
#define KOSD_PLACE_NUL(idx, slot, ret, args) KOSD_PLACE_OP(idx, slot, 0, ret, args)
KER_OSD_DRIVER_SLOTS(KOSD_PLACE_OP, KOSD_PLACE_OP, KOSD_PLACE_NUL)

ST_KER_OSD_DRIVER_CALLBACK *_ker_osd_Get_DriverCallback(void)
{
	return &gstDriverCallbackList;
}

/* ------------------------------------------------------------------ */
/* Register shadow                                                      */
/* ------------------------------------------------------------------ */

#define S(off)		{ OSD_REG(off), 0 }
#define S_EMPTY		{ 0, 0 }
#define S4(a)		S(a), S((a) + 4), S((a) + 8), S((a) + 12)

/* OSD_NORMAL1 block moved to plane n: 0x1xx +0x100n, single words +4n, 0x40xx +0x200n. */
#define S_NORMAL(n)								\
	S4(0x110 + 0x100 * (n)), S4(0x120 + 0x100 * (n)), S4(0x130 + 0x100 * (n)), \
	S(0x010 + 4 * (n)), S(0x090 + 4 * (n)), S(0x0b4 + 4 * (n)),		\
	S(0x0c0 + 4 * (n)), S(0x0e0 + 4 * (n)),					\
	S4(0x100 + 0x100 * (n)),						\
	S4(0x1d0 + 0x100 * (n)), S4(0x1e0 + 0x100 * (n)), S4(0x1f0 + 0x100 * (n)), \
	S(0x401c + 0x200 * (n)), S(0x4020 + 0x200 * (n)), S(0x4024 + 0x200 * (n)), \
	S(0x402c + 0x200 * (n)), S(0x4030 + 0x200 * (n)), S(0x4034 + 0x200 * (n)), \
	S(0x40f0 + 0x200 * (n))

#define OSD_SHADOW_NORMAL_BASE	2
#define OSD_SHADOW_NORMAL_SIZE	40
#define OSD_SHADOW_GLOBAL_BASE	122
#define OSD_SHADOW_GLOBAL_SIZE	70
#define OSD_SHADOW_CURSOR_BASE	(OSD_SHADOW_GLOBAL_BASE + OSD_SHADOW_GLOBAL_SIZE)
#define OSD_SHADOW_CURSOR_SIZE	38
#define OSD_SHADOW_CURGLB_BASE	(OSD_SHADOW_CURSOR_BASE + 2 * OSD_SHADOW_CURSOR_SIZE)
#define OSD_SHADOW_CURGLB_SIZE	15
#define OSD_SHADOW_COUNT	(OSD_SHADOW_CURGLB_BASE + OSD_SHADOW_CURGLB_SIZE)

static ST_KER_OSD_SHADOW_REG gastShadowReg[] = {
	/* global update control and status */
	S(0xb000), S(0xb004),
	S_NORMAL(0), S_NORMAL(1), S_NORMAL(2),
	/* mixer and global registers, shared by all planes */
	S4(0x030), S(0x040), S(0x044), S(0x048),
	S4(0x050), S(0x060), S(0x064), S(0x068),
	S4(0x070), S(0x080), S(0x084), S(0x088),
	S4(0x000),
	S(0x01c), S(0x020), S(0x024), S(0x028), S(0x02c),
	S(0x09c),
	S(0x0a8), S(0x0ac), S(0x0b0),
	S(0x0d0), S(0x0d4),
	S4(0x0ec),
	S(0x404), S(0x408), S(0x410), S(0x414), S(0x420), S(0x428),
	S4(0x900), S(0x910), S(0x914),
	S(0x92c),
	S4(0x940),
	S(0x980), S(0x990),
	S(0xe00),
	S(0xe2c), S(0xe30), S(0xe34), S(0xe38), S(0xe3c),
	S(0xc020),
	S(0x04c), S(0x06c), S(0x08c), S(0x0a4),
	/* OSD_CURSOR1 */
	S4(0x2028), S4(0x2038), S(0x2048),
	S4(0x2058), S4(0x2068), S(0x2078),
	S(0x2004), S(0x2010),
	S(0x204c), S(0x2050), S(0x2054),
	S(0x2080), S(0x20e8), S(0x2120), S(0x2124), S(0x21dc), S(0x21e0), S(0x21f4),
	S_EMPTY,
	S(0x2220), S(0x2254), S(0x2280), S(0x22d0), S(0x22e8), S(0x22f4),
	S_EMPTY,
	/* OSD_CURSOR2, the same places */
	S4(0x2098), S4(0x20a8), S(0x20b8),
	S4(0x20c8), S4(0x20d8), S(0x20f8),
	S(0x2008), S(0x2014),
	S(0x20bc), S(0x20c0), S(0x20c4),
	S(0x2084), S(0x20ec), S(0x2128), S(0x212c), S(0x21e4), S(0x21e8), S(0x21f8),
	S_EMPTY,
	S(0x2224), S(0x2258), S(0x2284), S(0x22d4), S(0x22ec), S(0x22f8),
	S_EMPTY,
	/* cursor globals */
	S(0x2000), S(0x2020), S(0x2100), S(0x2108), S(0x210c), S(0x21d0),
	S(0x2240), S(0x2244), S(0x2248), S(0x2270), S(0x228c), S(0x22c4),
	S(0x22c8), S(0x22e4), S(0x22fc),
};

_Static_assert(ARRAY_SIZE(gastShadowReg) == OSD_SHADOW_COUNT, "shadow blocks add up");

u32 _ker_osd_Shadow_Count(void)
{
	return ARRAY_SIZE(gastShadowReg);
}

ST_KER_OSD_SHADOW_REG *_ker_osd_Shadow_At(u32 u32Index)
{
	if (u32Index >= ARRAY_SIZE(gastShadowReg))
		return NULL;
	return &gastShadowReg[u32Index];
}

ST_KER_OSD_SHADOW_REG *_ker_osd_Shadow_Find(u32 u32Addr)
{
	u32 i;

	if (!u32Addr)
		return NULL;
	for (i = 0; i < ARRAY_SIZE(gastShadowReg); i++)
		if (gastShadowReg[i].u32Addr == u32Addr)
			return &gastShadowReg[i];
	return NULL;
}

u32 osd_normal_reg(u32 u32Addr, EN_DRV_OSD_PLANE_ID enPlane)
{
	u32 off = u32Addr - OSD_REG_PHYS_BASE;

	if (off >= 0x4000 && off < 0x4100)
		return u32Addr + 0x200 * enPlane;
	if (off >= 0x100 && off < 0x200)
		return u32Addr + 0x100 * enPlane;
	return u32Addr + 4 * enPlane;
}

u32 osd_cursor_reg(u32 u32Addr, EN_DRV_OSD_PLANE_ID enPlane)
{
	u32 i;

	if (enPlane != OSD_CURSOR2)
		return u32Addr;
	for (i = 0; i < OSD_SHADOW_CURSOR_SIZE; i++)
		if (gastShadowReg[OSD_SHADOW_CURSOR_BASE + i].u32Addr == u32Addr)
			return gastShadowReg[OSD_SHADOW_CURSOR_BASE +
					     OSD_SHADOW_CURSOR_SIZE + i].u32Addr;
	return u32Addr;
}

/* ------------------------------------------------------------------ */
/* Register access                                                      */
/* ------------------------------------------------------------------ */

static void __iomem *gpOsdRegBase;

void _ker_osd_MappingReg(void)
{
	OSD_ENTER();
	if (gpOsdRegBase) {
		OSD_LEAVE();
		return;
	}
	/* A window the kernel already owns (its RAM on a machine without the
	 * block, another driver) is left alone: every access then reads 0. */
	if (!request_mem_region(OSD_REG_PHYS_BASE, OSD_REG_WINDOW_SIZE, "osd")) {
		OSD_ERR("%s(): the OSD register window is not free\n", __func__);
		OSD_LEAVE();
		return;
	}
	gpOsdRegBase = ioremap(OSD_REG_PHYS_BASE, OSD_REG_WINDOW_SIZE);
	if (!gpOsdRegBase) {
		OSD_ERR("%s(): can not map the OSD registers\n", __func__);
		release_mem_region(OSD_REG_PHYS_BASE, OSD_REG_WINDOW_SIZE);
	}
	OSD_LEAVE();
}

void _ker_osd_UnMappingReg(void)
{
	void __iomem *p = gpOsdRegBase;

	OSD_ENTER();
	/* Later accesses read 0 and write nothing. */
	gpOsdRegBase = NULL;
	if (p) {
		iounmap(p);
		release_mem_region(OSD_REG_PHYS_BASE, OSD_REG_WINDOW_SIZE);
	}
	OSD_LEAVE();
}

static void __iomem *osd_reg_ptr(u32 u32Addr)
{
	if ((u32Addr >> 16) != (OSD_REG_PHYS_BASE >> 16) || !gpOsdRegBase)
		return NULL;
	return gpOsdRegBase + (u32Addr & 0xfffc);
}

/*
 * One register write at a time: a read-modify-write of a register that
 * planes share (0x000, 0x004, 0xb000, the cursor globals) never puts back
 * what another plane changed in between, and an update request is counted
 * with its write.
 */
static DEFINE_SPINLOCK(gstOsdRegLock);

/*
 * What a vsync latches together: each normal plane, the two cursors. The
 * hardware takes a group's scan registers only at a vsync that finds its
 * update requested (0xb000) and enabled; the requests written, the request
 * the last written scan waits for, and the last request seen taken are
 * counted per group.
 */
#define OSD_LATCH_GROUPS	4
static const u32 gau32LatchPending[OSD_LATCH_GROUPS] = { BIT(0), BIT(1), BIT(2), OSD_UPLOAD_CURSOR };
static u32 gau32UpdateRequests[OSD_LATCH_GROUPS];
static u32 gau32ScanTicket[OSD_LATCH_GROUPS];
static u32 gau32UpdateTaken[OSD_LATCH_GROUPS];

static int osd_latch_group(EN_DRV_OSD_PLANE_ID enPlane)
{
	return OSD_IS_CURSOR(enPlane) ? OSD_LATCH_GROUPS - 1 : enPlane;
}

/* Caller holds gstOsdRegLock. */
static void osd_reg_store(u32 u32Addr, u32 u32Value)
{
	void __iomem *p = osd_reg_ptr(u32Addr);
	int g;

	if (!p)
		return;
	writel(u32Value, p);
	if (u32Addr == OSD_REG(0xb000))
		for (g = 0; g < OSD_LATCH_GROUPS; g++)
			if (u32Value & gau32LatchPending[g])
				gau32UpdateRequests[g]++;
}

u32 _ker_osd_Read_Reg(const u32 *pu32Addr)
{
	void __iomem *p = pu32Addr ? osd_reg_ptr(*pu32Addr) : NULL;

	return p ? readl(p) : 0;
}

void _ker_osd_Write_Reg(const u32 *pu32Addr, u32 u32Value)
{
	unsigned long flags;

	if (!pu32Addr)
		return;
	spin_lock_irqsave(&gstOsdRegLock, flags);
	osd_reg_store(*pu32Addr, u32Value);
	spin_unlock_irqrestore(&gstOsdRegLock, flags);
}

void osd_scan_written(EN_DRV_OSD_PLANE_ID enPlane)
{
	int g = osd_latch_group(enPlane);
	unsigned long flags;

	spin_lock_irqsave(&gstOsdRegLock, flags);
	WRITE_ONCE(gau32ScanTicket[g], gau32UpdateRequests[g] + 1);
	spin_unlock_irqrestore(&gstOsdRegLock, flags);
}

u32 _ker_osd_Get_ScanTicket(EN_DRV_OSD_PLANE_ID enPlane)
{
	return (u32)enPlane < OSD_PLANE_MAX ? READ_ONCE(gau32ScanTicket[osd_latch_group(enPlane)]) : 0;
}

/* Whether a group's update is enabled: 0x000 bit 0 with the plane's latch bit; 0x210c bit 30. */
static bool osd_latch_enabled(int g)
{
	if (g == OSD_LATCH_GROUPS - 1)
		return osd_read(OSD_REG(0x210c)) & BIT(30);
	return (osd_read(OSD_REG(0x000)) & BIT(0)) &&
	       (osd_read(osd_normal_reg(OSD_REG(0x100), g)) & BIT(0));
}

/*
 * At a vsync: a group whose request is no longer pending while its updates
 * are enabled has had every request written so far taken. The layer above
 * learns, per plane, the last request taken.
 */
void osd_vsync_planes(void)
{
	void (*fn)(EN_DRV_OSD_PLANE_ID, u32) = READ_ONCE(gpfVSyncCallback);
	unsigned long flags;
	u32 pending;
	int g, p;

	spin_lock_irqsave(&gstOsdRegLock, flags);
	pending = osd_read(OSD_REG(0xb000));
	for (g = 0; g < OSD_LATCH_GROUPS; g++)
		if (!(pending & gau32LatchPending[g]) && osd_latch_enabled(g))
			gau32UpdateTaken[g] = gau32UpdateRequests[g];
	spin_unlock_irqrestore(&gstOsdRegLock, flags);
	/* every plane, the second cursor included */
	for (p = 0; p < OSD_PLANE_MAX && fn; p++)
		fn(p, gau32UpdateTaken[osd_latch_group(p)]);
}

void _ker_osd_Write_GlobalReg(ST_KER_OSD_SHADOW_REG *pstReg, u32 u32Value)
{
	if (!pstReg || (pstReg->u32Addr >> 16) != (OSD_REG_PHYS_BASE >> 16))
		return;
	pstReg->u32Value = u32Value;
	OSD_DBG("%s(): Register = 0x%08x, Value = 0x%08x\n", __func__,
		pstReg->u32Addr, u32Value);
}

u32 osd_read(u32 u32Addr)
{
	return _ker_osd_Read_Reg(&u32Addr);
}

void osd_write_hw(u32 u32Addr, u32 u32Value)
{
	_ker_osd_Write_Reg(&u32Addr, u32Value);
}

/*
 * One read under the lock serves shadow and hardware alike; a whole-register
 * write reads nothing (a data port read would move the port on).
 */
static void osd_prog_to(u32 u32Addr, u32 u32Mask, u32 u32Bits, ST_KER_OSD_SHADOW_REG *pstReg)
{
	unsigned long flags;
	u32 v = u32Bits;

	spin_lock_irqsave(&gstOsdRegLock, flags);
	if (u32Mask != ~0u)
		v = (osd_read(u32Addr) & ~u32Mask) | (u32Bits & u32Mask);
	if (pstReg)
		_ker_osd_Write_GlobalReg(pstReg, v);
	osd_reg_store(u32Addr, v);
	spin_unlock_irqrestore(&gstOsdRegLock, flags);
}

void osd_prog(u32 u32Addr, u32 u32Mask, u32 u32Bits)
{
	ST_KER_OSD_SHADOW_REG *pstReg = _ker_osd_Shadow_Find(u32Addr);

	if (!pstReg)
		OSD_ERR("%s(): Register = 0x%08x has no shadow\n", __func__, u32Addr);
	osd_prog_to(u32Addr, u32Mask, u32Bits, pstReg);
}

void osd_prog_hw(u32 u32Addr, u32 u32Mask, u32 u32Bits)
{
	osd_prog_to(u32Addr, u32Mask, u32Bits, NULL);
}

u32 osd_adopt(u32 u32Addr)
{
	ST_KER_OSD_SHADOW_REG *pstReg = _ker_osd_Shadow_Find(u32Addr);
	u32 v = osd_read(u32Addr);

	if (pstReg)
		pstReg->u32Value = v;
	return v;
}

u32 osd_shadow_value(u32 u32Addr)
{
	ST_KER_OSD_SHADOW_REG *pstReg = _ker_osd_Shadow_Find(u32Addr);

	return pstReg ? pstReg->u32Value : 0;
}

void osd_shadow_store(u32 u32Addr, u32 u32Value)
{
	_ker_osd_Write_GlobalReg(_ker_osd_Shadow_Find(u32Addr), u32Value);
}

/* ------------------------------------------------------------------ */
/* Identifiers                                                          */
/* ------------------------------------------------------------------ */

int _ker_osd_Check_Ids(u32 u32What, u32 u32Plane, u32 u32Region, u32 u32Key,
		       u32 u32Layer, u32 u32Mask)
{
	if (u32Plane >= OSD_PLANE_MAX) {
		OSD_ERR_RL("Invalid PlaneID = %d!\n", u32Plane + 1);
		return -EINVAL;
	}
	if ((u32What & OSD_ID_REGION) &&
	    (OSD_IS_CURSOR(u32Plane) ? u32Region >= OSD_REGION_MAX : u32Region != 0)) {
		OSD_ERR_RL("Invalid PlaneID = %d, RegionID = %d!\n", u32Plane + 1, u32Region + 1);
		return -EINVAL;
	}
	if ((u32What & OSD_ID_KEY) && u32Key >= OSD_COLOR_KEY_MAX) {
		OSD_ERR_RL("Invalid ColorKeyID = %d!\n", u32Key);
		return -EINVAL;
	}
	if ((u32What & OSD_ID_LAYER) && u32Layer >= OSD_LAYER_MAX) {
		OSD_ERR_RL("Invalid LayerID = %d!\n", u32Layer);
		return -EINVAL;
	}
	if ((u32What & OSD_ID_MASK) && u32Mask >= OSD_VIDEO_MASK_MAX) {
		OSD_ERR_RL("Invalid VideoMaskID = %d!\n", u32Mask);
		return -EINVAL;
	}
	return 0;
}

/* ------------------------------------------------------------------ */
/* Waits, fast logo, force disable                                      */
/* ------------------------------------------------------------------ */

#define OSD_UPLOAD_WAIT_TRIES		19
#define OSD_PALETTE_WAIT_READS		1599999
#define OSD_FASTLOGO_POLLS		50
#define OSD_FASTLOGO_OWNED		BIT(30)
#define OSD_FASTLOGO_RELEASE		BIT(31)

void _ker_osd_WaitUploadDone(void)
{
	int i;

	for (i = 0; i < OSD_UPLOAD_WAIT_TRIES; i++) {
		if (!(osd_read(OSD_REG(0xb000)) & OSD_UPLOAD_ALL))
			return;
		msleep(1);
	}
	OSD_ERR("Timeout, OSD upload timeout, skip\n");
}

void _ker_osd_WaitPaletteTrigger(void)
{
	u32 i;

	for (i = 0; i < OSD_PALETTE_WAIT_READS; i++) {
		if (!osd_read(OSD_REG(0x428)))
			return;
		cpu_relax();
	}
	OSD_ERR("Timeout, Palette trigger no response, skip\n");
}

static DEFINE_MUTEX(gstFastLogoLock);
static bool gbFastLogoDone;

static void osd_fastlogo_release(void)
{
	u32 v;
	int i;

	v = osd_read(OSD_REG(0x008));
	if (!(v & OSD_FASTLOGO_OWNED))
		return;
	osd_write_hw(OSD_REG(0x008), v | OSD_FASTLOGO_RELEASE);
	for (i = 0; i < OSD_FASTLOGO_POLLS; i++) {
		msleep(16);
		if (!(osd_read(OSD_REG(0x008)) & OSD_FASTLOGO_OWNED))
			return;
	}
	OSD_MSG("%s: fastlogo is still using this plane, but we will use it forcely ...\n",
		"_ker_osd_check_fastlogo");
}

/* Once per load; every caller returns when the boot logo has let the planes go. */
void _ker_osd_check_fastlogo(void)
{
	mutex_lock(&gstFastLogoLock);
	if (!gbFastLogoDone) {
		osd_fastlogo_release();
		gbFastLogoDone = true;
	}
	mutex_unlock(&gstFastLogoLock);
}

void _ker_osd_ForceDisable(EN_DRV_OSD_PLANE_ID enPlane, u8 u8Value)
{
	if (_ker_osd_Check_Ids(OSD_ID_PLANE, enPlane, 0, 0, 0, 0))
		return;
	gau8ForceDisable[enPlane] = u8Value;
	OSD_DBG("OSD Force Disable %d,%d\n", enPlane, u8Value);
}

int _ker_osd_VSyncWait_wrap(EN_DRV_OSD_PLANE_ID enPlane)
{
	return _ker_osd_VSyncWait(enPlane);
}
