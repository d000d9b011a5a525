// SPDX-License-Identifier: GPL-2.0
/*
 * OSD ioctl commands (KER_OSD_IO_*): the dispatcher behind the plane
 * framebuffers' ioctl and compat_ioctl, and the entry for kernel callers.
 *
 * The dispatcher looks at the command's number byte only. Queries run
 * without the plane semaphore, set commands under it. Scalar set commands
 * carry their value in the argument; record commands and queries pass a
 * pointer, to user memory from user space and to kernel memory from a
 * kernel caller.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <linux/uaccess.h>
#include <linux/compat.h>
#include <linux/sched.h>
#include <linux/dma-buf.h>
#include <linux/file.h>

#include "vyr_compat.h"
#include "vyr_perm.h"
#include "ker_osd_fb.h"

#define T gstDriverCallback
#define SLOT_NAME(slot) "gstDriverCallback->" #slot


static int osd_in(void *dst, unsigned long arg, size_t n, bool user)
{
	if (user)
		return copy_from_user(dst, (const void __user *)arg, n) ? -EFAULT : 0;
	if (!arg)
		return -EFAULT;
	memcpy(dst, (const void *)arg, n);
	return 0;
}

static int osd_out(unsigned long arg, const void *src, size_t n, bool user)
{
	if (user)
		return copy_to_user((void __user *)arg, src, n) ? -EFAULT : 0;
	if (!arg)
		return -EFAULT;
	memcpy((void *)arg, src, n);
	return 0;
}

/*
 * Copies the record out with a reserved descriptor in it: installed once the
 * caller has it, else given back unseen, so no other thread's file is closed.
 */
static int osd_out_fd(unsigned long arg, const void *src, size_t n, bool user, int fd,
		      struct file *file)
{
	int ret = osd_out(arg, src, n, user);

	if (fd < 0)
		return ret;
	if (ret) {
		put_unused_fd(fd);
		fput(file);
	} else {
		fd_install(fd, file);
	}
	return ret;
}

/* ---- shapes of the table's rows ---- */

/* yes-or-no query: one byte out, 0 when the operation is missing */
#define IS_(call, slot)								\
	do {									\
		u8 b = 0;							\
		if (T->slot)							\
			T->slot call;						\
		else								\
			OSD_MSG("%s is NULL !\n", SLOT_NAME(slot));		\
		return osd_out(arg, &b, 1, user);				\
	} while (0)
#define IS_P(slot) IS_((p, &b), slot)
#define IS_PR(slot) IS_((p, rid, &b), slot)

/* record query: the record out, -14 when the operation is missing */
#define GET_(call, slot, type)							\
	do {									\
		type v;								\
		memset(&v, 0, sizeof(v));					\
		if (!T->slot) {							\
			OSD_ERR_RL(#slot " is NULL\n");				\
			return -EFAULT;						\
		}								\
		T->slot call;							\
		return osd_out(arg, &v, sizeof(v), user);			\
	} while (0)
#define GET_P(slot, type) GET_((p, &v), slot, type)
#define GET_PR(slot, type) GET_((p, rid, &v), slot, type)

/* scalar enable: the argument's low byte, kept before the call */
#define EN_(call, slot, store)							\
	do {									\
		u8 b = (u8)arg;							\
		store = b;							\
		OSD_CALL(slot, EXPAND call);					\
		return 0;							\
	} while (0)
#define EXPAND(...) __VA_ARGS__
#define EN_P(slot, store) EN_((p, &b), slot, store)
#define EN_PR(slot, store) EN_((p, rid, &b), slot, store)

/* scalar word from the argument */
#define SET32_(call, slot, store)						\
	do {									\
		u32 w = (u32)arg;						\
		store = w;							\
		OSD_CALL(slot, EXPAND call);					\
		return 0;							\
	} while (0)
#define SET32_P(slot, store) SET32_((p, &w), slot, store)
#define SET32_PR(slot, store) SET32_((p, rid, &w), slot, store)

/* record copied in, kept, handed down */
#define REC_(call, slot, type, store)						\
	do {									\
		type v;								\
		int e_ = osd_in(&v, arg, sizeof(v), user);			\
		if (e_)								\
			return e_;						\
		store;								\
		OSD_CALL(slot, EXPAND call);					\
		return 0;							\
	} while (0)
#define REC_P(slot, type, store) REC_((p, &v), slot, type, store)
#define REC_PR(slot, type, store) REC_((p, rid, &v), slot, type, store)

/* a command whose operation this build leaves empty */
#define EMPTY(slot)								\
	do {									\
		if (!T->slot)							\
			OSD_MSG("%s is NULL !\n", SLOT_NAME(slot));		\
		return 0;							\
	} while (0)

/* a store that happens only once the check passed */
#define CHECKED(check, store)							\
	do {									\
		int c_ = (check);						\
		if (c_)								\
			return c_;						\
		store;								\
	} while (0)

/*
 * A window whose lines are wider than the stride is refused at the door;
 * where the hardware may read is the hardware layer's to judge.
 */
static int osd_check_line(const ST_KER_OSD_PLANE_CTX *c, const ST_RECT *src, u64 bpp, u64 stride)
{
	if (((u64)src->u32X + src->u32W) * bpp <= stride)
		return 0;
	OSD_ERR_RL("%s(), PlaneID = %d: [%u, %u, %u x %u] is wider than the stride %llu\n", __func__,
		c->enPlaneID, src->u32X, src->u32Y, src->u32W, src->u32H, stride);
	return -EINVAL;
}

/* No pixels or no lines: the plane would still read at the start. */
static int osd_check_area(u32 w, u32 h)
{
	return w && h ? 0 : -EINVAL;
}

/* A caller with CAP_SYS_RAWIO may lay the window out as it likes. */
static int osd_check_win(const ST_KER_OSD_PLANE_CTX *c, const ST_KER_OSD_REGION_CTX *r,
			 const ST_RECT *src)
{
	u64 bpp = OSD_COLOR_BPP(r->enColor);

	if (c->bRawCaller)
		return 0;
	return osd_check_line(c, src, bpp ? bpp : 4, r->u32Stride);
}

/* A buffer outside the plane's own names raw physical memory. */
static int osd_check_buf(const ST_KER_OSD_PLANE_CTX *c, const ST_DRV_OSD_BUF_PHY_ADDR_SIZE *buf)
{
	u64 addr = buf->u32BufPhyAddr;

	if ((addr < c->u32BufStart || addr >= (u64)c->u32BufStart + c->u32BufLen) &&
	    vyr_perm_rawio(NULL))
		return -EPERM;
	return 0;
}

static u32 gu32Discard;
#define NOSTORE gu32Discard

/* ---- special commands ---- */

static int osd_io_video_mask(ST_KER_OSD_PLANE_CTX *c, u32 nr, unsigned long arg, bool user)
{
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	ST_DRV_OSD_VIDEO_MASK_CTRL v;
	int ret = osd_in(&v, arg, sizeof(v), user);

	if (ret)
		return ret;
	if (_ker_osd_Check_Ids(OSD_ID_LAYER | OSD_ID_MASK, p, 0, 0, v.u32LayerID, v.u32MaskID))
		return -EINVAL;
	switch (nr) {
	case 55:
		c->astVideoMask[v.u32LayerID][v.u32MaskID].bEnable = v.bEnable;
		OSD_CALL(pfVideoMaskEnable, p, v.u32LayerID, v.u32MaskID, &v.bEnable);
		return 0;
	case 57:
		c->astVideoMask[v.u32LayerID][v.u32MaskID] = v;
		OSD_CALL(pfSetVideoMask, p, v.u32LayerID, v.u32MaskID, &v);
		return 0;
	case 56:
		if (!T->pfIsVideoMask) {
			OSD_ERR_RL("pfIsVideoMask is NULL\n");
			return -EFAULT;
		}
		T->pfIsVideoMask(p, v.u32LayerID, v.u32MaskID, &v.bEnable);
		break;
	default:
		if (!T->pfGetVideoMask) {
			OSD_ERR_RL("pfGetVideoMask is NULL\n");
			return -EFAULT;
		}
		T->pfGetVideoMask(p, v.u32LayerID, v.u32MaskID, &v);
		break;
	}
	return osd_out(arg, &v, sizeof(v), user);
}

static int osd_io_color_key(ST_KER_OSD_PLANE_CTX *c, u32 nr, unsigned long arg, bool user)
{
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	EN_DRV_OSD_REGION_ID rid = c->enRegionID;
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[rid];
	ST_KER_OSD_COLOR_KEY_REQ v;
	int ret = osd_in(&v, arg, sizeof(v), user);

	if (ret)
		return ret;
	if (_ker_osd_Check_Ids(OSD_ID_REGION | OSD_ID_KEY, p, rid, v.u32KeyID, 0, 0))
		return -EINVAL;
	switch (nr) {
	case 121:
		r->abColorKey[v.u32KeyID] = v.bEnable;
		OSD_CALL(pfColorKeyEnable, p, rid, v.u32KeyID, &v.bEnable);
		return 0;
	case 123:
		r->astColorKey[v.u32KeyID] = v.stValue;
		OSD_CALL(pfSetColorKey, p, rid, v.u32KeyID, &v.stValue);
		return 0;
	case 122:
		if (!T->pfIsColorKey) {
			OSD_ERR_RL("pfIsColorKey is NULL\n");
			return -EFAULT;
		}
		T->pfIsColorKey(p, rid, v.u32KeyID, &v.bEnable);
		break;
	default:
		if (!T->pfGetColorKey) {
			OSD_ERR_RL("pfGetColorKey is NULL\n");
			return -EFAULT;
		}
		T->pfGetColorKey(p, rid, v.u32KeyID, &v.stValue);
		break;
	}
	return osd_out(arg, &v, sizeof(v), user);
}

/* NR 131 (set) and 132 (get) with the record already copied in; semaphore held. */
static int osd_io_palette(ST_KER_OSD_PLANE_CTX *c, u32 nr, u32 start, u32 count,
			  unsigned long data, bool user)
{
	ST_DRV_OSD_PALETTE_DATA pal;
	u32 *entries;
	int ret = 0;

	if (!count || start >= OSD_PALETTE_ENTRIES || count > OSD_PALETTE_ENTRIES ||
	    start + count > OSD_PALETTE_ENTRIES) {
		OSD_ERR_RL("%s(), Invalid Palette StartAddr = %d, Count = %d\n", __func__, start, count);
		return -EFAULT;
	}
	if (!data)
		return -EFAULT;
	entries = kmalloc_array(count, sizeof(u32), GFP_KERNEL);
	if (!entries) {
		OSD_ERR("%s(), Can not allocate temp Palette-Buffer memory!\n", __func__);
		return -ENOMEM;
	}
	pal.u32Start = start;
	pal.u32Count = count;
	pal.pu32Data = entries;
	if (nr == 132) {
		memset(entries, 0, count * sizeof(u32));
		OSD_CALL(pfGetPaletteData, c->enPlaneID, &pal);
		ret = osd_out(data, entries, count * sizeof(u32), user);
	} else {
		ret = osd_in(entries, data, count * sizeof(u32), user);
		if (!ret) {
			c->stLastPalette.u32Start = start;
			c->stLastPalette.u32Count = count;
			c->stLastPalette.pu32Data = NULL;
			OSD_CALL(pfSetPaletteData, c->enPlaneID, &pal);
		}
	}
	kfree(entries);
	return ret;
}

static int osd_io_set_color_mode(struct fb_info *info, ST_KER_OSD_PLANE_CTX *c,
				 unsigned long arg, bool user)
{
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[c->enRegionID];
	struct fb_var_screeninfo *var = &info->var, next = *var;
	ST_KER_OSD_COLOR_FMT fmt;
	EN_COLOR mode, old;
	int ret = osd_in(&mode, arg, sizeof(mode), user);

	if (ret)
		return ret;
	memset(&fmt, 0, sizeof(fmt));
	OSD_CALL(pfConvertModeToColorFmt, &fmt, &mode);
	/* the pixel size changes what the plane and the console read: the lines may not hold it */
	if (fmt.u8BitsPerPixel)
		next.bits_per_pixel = fmt.u8BitsPerPixel;
	ret = osd_view_check(info, info->fix.line_length, &next);
	if (ret)
		return ret;
	old = r->enColor;
	r->enColor = mode;
	OSD_CALL(pfSetColorMode, c->enPlaneID, c->enRegionID, &mode);
	if (osd_refused(c)) {
		r->enColor = old;
		return -EINVAL;
	}
	if (fmt.u8BitsPerPixel) {
		var->bits_per_pixel = fmt.u8BitsPerPixel;
		var->red.length = fmt.u8RedLength;
		var->red.offset = fmt.u8RedOffset;
		var->green.length = fmt.u8GreenLength;
		var->green.offset = fmt.u8GreenOffset;
		var->blue.length = fmt.u8BlueLength;
		var->blue.offset = fmt.u8BlueOffset;
		var->transp.length = fmt.u8TranspLength;
		var->transp.offset = fmt.u8TranspOffset;
	}
	osd_keep_palette(c, mode);
	return 0;
}

static int osd_io_set_dmabuf(struct fb_info *info, ST_KER_OSD_PLANE_CTX *c,
			     unsigned long arg, bool user)
{
	ST_DRV_OSD_UPDATE_ENABLE upd = { .u32UpdateMask = KOSD_UPDATE_NORMAL, .bEnable = 1 };
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	EN_DRV_OSD_REGION_ID rid = c->enRegionID;
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[rid];
	ST_KER_OSD_REGION_CTX saved;
	ST_KER_OSD_SET_DMABUF v;
	ST_KOSD_IMPORT *imp;
	struct fb_var_screeninfo view = info->var;
	struct file *file = NULL;
	u64 stride, start, len, lines;
	ST_RECT src;
	u32 bufs;
	u8 raw;
	int ret;

	ret = osd_in(&v, arg, sizeof(v), user);
	if (ret)
		return ret;
	stride = ALIGN((u64)v.u32BufWidth * 4, 32);
	src = (ST_RECT){ v.u32SrcX, v.u32SrcY, v.u32SrcW, v.u32SrcH };
	/* the framebuffer then describes the window, in as many buffers as before */
	bufs = info->var.yres ? info->var.yres_virtual / info->var.yres : 1;
	lines = (u64)bufs * v.u32SrcH;
	view.xres_virtual = v.u32SrcW;
	view.yres_virtual = lines > U32_MAX ? U32_MAX : lines;
	if (osd_check_area(v.u32SrcW, v.u32SrcH) || osd_check_area(v.u32DstW, v.u32DstH) ||
	    stride > U32_MAX || osd_check_line(c, &src, 4, stride) ||
	    osd_view_check(info, stride, &view))
		return -EINVAL;
	/* held, attached and mapped until the plane has left it */
	imp = kosd_import_get(v.s32BufFd, gstOsdDev);
	if (IS_ERR(imp))
		return PTR_ERR(imp);
	if (!osd_buf_fits_32(imp->u64Addr, imp->u64Size)) {
		OSD_ERR_RL("%s(), NR_FBIOSET_DMABUF: buffer 0x%llx (+0x%llx) is out of the planes' reach\n",
			__func__, (unsigned long long)imp->u64Addr, (unsigned long long)imp->u64Size);
		kosd_import_put(imp);
		return -EINVAL;
	}
	/* what the plane shows now must have room to wait until it has left it */
	ret = osd_import_claim(p);
	if (ret) {
		kosd_import_put(imp);
		return ret;
	}

	saved = *r;
	start = c->u64ImportStart;
	len = c->u64ImportLen;
	c->u64ImportStart = imp->u64Addr;
	c->u64ImportLen = imp->u64Size;
	r->u32Stride = (u32)stride;
	r->stDispWin.stSrcWin = src;
	r->stDispWin.stDstWin = (ST_RECT){ v.u32DstX, v.u32DstY, v.u32DstW, v.u32DstH };
	r->stBufPhyAddrSize.u32BufPhyAddr = (u32)imp->u64Addr;
	r->stBufPhyAddrSize.u32StartAddr = 0;
	r->stBufPhyAddrSize.u32Size = c->u32BufLen;
	/*
	 * Stride, window and start reach the hardware together, or nothing
	 * does; a dma-buf names no raw memory, whoever the caller.
	 */
	raw = c->bRawCaller;
	WRITE_ONCE(c->bRawCaller, 0);
	osd_refused(c);
	OSD_CALL(pfSetDispWin, p, rid, &r->stDispWin);
	WRITE_ONCE(c->bRawCaller, raw);
	if (osd_refused(c)) {
		OSD_ERR_RL("%s(), NR_FBIOSET_DMABUF: buffer 0x%llx (+0x%llx) cannot show %ux%u\n",
			__func__, (unsigned long long)imp->u64Addr, (unsigned long long)imp->u64Size,
			v.u32SrcW, v.u32SrcH);
		*r = saved;
		c->u64ImportStart = start;
		c->u64ImportLen = len;
		osd_import_unclaim(p);
		kosd_import_put(imp);
		return -EINVAL;
	}
	info->fix.line_length = (u32)stride;
	info->var.xres = v.u32SrcW;
	info->var.yres = v.u32SrcH;
	info->var.xres_virtual = view.xres_virtual;
	info->var.yres_virtual = view.yres_virtual;
	OSD_MSG("%s(), NR_FBIOSET_DMABUF ...\n", __func__);
	OSD_CALL(pfUpdateEnable, p, &upd);
	osd_import_show(p, imp);

	v.s32FenceFd = osd_get_out_fence_fd_without_signal(p, &file);
	return osd_out_fd(arg, &v, sizeof(v), user, v.s32FenceFd, file);
}

static int osd_io_dmabuf_export(ST_KER_OSD_PLANE_CTX *c, u32 nr, unsigned long arg, bool user)
{
	ST_KER_OSD_DMABUF_REQ req = { 0, 0 };
	struct file *file = NULL;
	int ret;

	if (nr == 34) {
		ret = osd_in(&req, arg, sizeof(req), user);
		if (ret)
			return ret;
	}
	ret = kosd_plane_dma_buf_fd(c->enPlaneID, &req, &file);
	if (ret) {
		printk_ratelimited("FBIOGET_DMABUF fail\n");
		return -EFAULT;
	}
	return osd_out_fd(arg, &req, sizeof(req), user, (int)req.u32Offset, file);
}

static int osd_io_force_buf_order(ST_KER_OSD_PLANE_CTX *c, unsigned long arg, bool user)
{
	u32 forced, order;
	int ret = osd_in(&forced, arg, sizeof(forced), user);

	if (ret)
		return ret;
	/* a buffer the plane does not have would be scanned past its end */
	if (osd_target_from_forced(forced) >= max_t(u32, osd_plane_buffers(c->enPlaneID), 1) &&
	    vyr_perm_rawio(NULL))
		return -EINVAL;
	c->u32ForceBufOrder = forced;
	order = _ker_osd_ExchangeBufOrder(c->u32CurrentBufOrder, osd_target_from_forced(forced));
	OSD_MSG("%s(), enChangeBufTo = %d, enCurrentBufOrder = %d\n", __func__,
		osd_target_from_forced(forced), order);
	c->u32CurrentBufOrder = order;
	OSD_CALL(pfSetCurrentBufOrder, c->enPlaneID, (EN_DRV_OSD_CURRENT_BUF_ORDER *)&order);
	return 0;
}

static int osd_io_vsync(ST_KER_OSD_PLANE_CTX *c, unsigned long arg)
{
	ST_DRV_OSD_UPDATE_ENABLE upd = { .u32UpdateMask = KOSD_UPDATE_NORMAL, .bEnable = 1 };

	if (arg) {
		printk_ratelimited("%s(), Discard FBIO_WAITFORVSYNC support !\n", __func__);
		return 0;
	}
	if (c->pstGlobalSetting->u32VSyncUpdate == 1)
		OSD_CALL(pfUpdateEnable, c->enPlaneID, &upd);
	if (!T->pfVSyncWait) {
		OSD_MSG("%s is NULL !\n", SLOT_NAME(pfVSyncWait));
		return 0;
	}
	return T->pfVSyncWait(c->enPlaneID);
}

/*
 * A scroll moves the window's x from 0 up to below the limit (or stays at
 * its start) with the scroll stride: both ends must be showable, and the
 * window, set every frame, must have a size.
 */
static int osd_check_scroll(ST_KER_OSD_PLANE_CTX *c, const ST_KER_OSD_SCROLL_CTX *s)
{
	ST_DRV_OSD_DISP_WIN win = s->stDispWin;
	u32 far = max(s->u32Offset, s->u32Step && s->u32Limit ? s->u32Limit - 1 : 0);

	if (!win.stSrcWin.u32W || !win.stSrcWin.u32H || !win.stDstWin.u32W || !win.stDstWin.u32H)
		return -EINVAL;
	win.stSrcWin.u32X = 0;
	if (_ker_osd_Check_DispWin(c->enPlaneID, c->enRegionID, &win, s->u32ScrollStride))
		return -EINVAL;
	win.stSrcWin.u32X = far;
	return _ker_osd_Check_DispWin(c->enPlaneID, c->enRegionID, &win, s->u32ScrollStride);
}

static int osd_io_scroll(ST_KER_OSD_PLANE_CTX *c, unsigned long arg, bool user)
{
	EN_DRV_OSD_REGION_ID rid = c->enRegionID;
	ST_KER_OSD_SCROLL_CTX *s = &c->stScroll;
	ST_DRV_OSD_SCROLL_PARAM v;
	int ret = osd_in(&v, arg, sizeof(v), user);

	if (ret)
		return ret;
	if (_ker_osd_Check_Ids(OSD_ID_REGION, c->enPlaneID, rid, 0, 0, 0))
		return -EINVAL;
	if (v.bEnable) {
		ST_KER_OSD_SCROLL_CTX next = *s;

		next.u32ScrollStride = v.u32ScrollStride;
		next.u32Step = v.u32Step;
		next.u32Limit = v.u32Limit;
		next.u32Offset = v.u32Limit && v.u32Start >= v.u32Limit ? 0 : v.u32Start;
		next.stDispWin = c->astRegion[rid].stDispWin;
		if (osd_check_scroll(c, &next))
			return -EINVAL;
	}
	s->u32ScrollStride = v.u32ScrollStride;
	s->u32SavedStride = c->astRegion[rid].u32Stride;
	s->u32Step = v.u32Step;
	s->u32Limit = v.u32Limit;
	s->u32Offset = v.u32Limit && v.u32Start >= v.u32Limit ? 0 : v.u32Start;
	s->stDispWin = c->astRegion[rid].stDispWin;
	WRITE_ONCE(s->bEnable, v.bEnable);
	OSD_CALL(pfSetScroll, c->enPlaneID, rid, &v);
	return 0;
}

/* Queries: 1 when nr is not one (it is then a set command). */
static int osd_query(struct fb_info *info, ST_KER_OSD_PLANE_CTX *c, u32 nr, unsigned long arg,
		     bool user, bool *handled)
{
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	EN_DRV_OSD_REGION_ID rid = c->enRegionID;
	u32 w;

	*handled = true;
	switch (nr) {
	case 5: GET_((&v), pfGetVideoWinSize, ST_SIZE);
	case 7: IS_P(pfIsUpdateSyncByATV);
	case 9: GET_P(pfGetDBLSync, u32);
	case 11: GET_P(pfGetUpdateStatus, ST_DRV_OSD_UPDATE_STATUS);
	case 13: IS_P(pfIsShow);
	case 15: IS_P(pfIsPlaneShow);
	case 19: IS_P(pfIsAXIFreeze);
	case 21: IS_P(pfIsAutoMute);
	case 22: GET_P(pfGetAutoMuteStatus, u8);
	case 24: IS_P(pfIsDramSaveMode);
	case 26: IS_P(pfIsDualOutput);
	case 28: IS_P(pfIsPureOutput);
	case 16: case 17: case 29: case 30: case 31: case 36: case 37: case 38:
	case 45 ... 50: case 53: case 54: case 134 ... 151:
		return 0;
	case 33: case 34:
		return osd_io_dmabuf_export(c, nr, arg, user);
	case 40: IS_P(pfIsSelfFrameWin);
	case 42: GET_P(pfGetSelfFrameWin, ST_DRV_OSD_SELF_FRAME_WIN);
	case 44: GET_P(pfGetDPVDERef, ST_DRV_OSD_DPVDE_REF);
	case 52: GET_P(pfGetPlaneOrder, EN_DRV_OSD_PLANE_ORDER);
	case 56: case 58:
		return osd_io_video_mask(c, nr, arg, user);
	case 60: GET_P(pfGetLBMAddr, ST_DRV_OSD_LBM_ADDR);
	case 61: GET_P(pfGetLBMStatus, ST_DRV_OSD_LBM_STATUS);
	case 63: IS_P(pfIsAlphaCal);
	case 65: GET_P(pfGetAlphaCalThrd, u32);
	case 66: GET_P(pfGetAlphaCalCount, u32);
	case 68: IS_P(pfIsProtectArea);
	case 70: GET_P(pfGetProtectArea, ST_DRV_OSD_PROTECT_AREA);
	case 72: IS_P(pfIsFlushAXIRead);
	case 74: GET_P(pfGetFlushAXIReadPattern, u32);
	case 76: GET_PR(pfIsScale, ST_DRV_OSD_SCALE_ENABLE);
	case 78: GET_PR(pfGetScaleFactor, ST_DRV_OSD_SCALE_FACTOR);
	case 80: GET_P(pfGetScaleUpCtrl, ST_DRV_OSD_SCALE_UP_CTRL);
	case 82: GET_P(pfGetScaleDownCtrl, ST_DRV_OSD_SCALE_DOWN_CTRL);
	case 86: IS_PR(pfIsAlphaBlend);
	case 88: IS_PR(pfIsRLDecode);
	case 90: GET_PR(pfGetRLDecodeCtrl, ST_DRV_OSD_RL_DECODE_CTRL);
	case 92: IS_P(pfIsMultiRegion);
	case 94: IS_P(pfIsBISTMode);
	case 96: GET_P(pfGetBISTMode, ST_DRV_OSD_BIST_MODE);
	case 98: GET_P(pfGetRegionBoundary, ST_DRV_OSD_REGION_BOUNDARY);
	case 100: IS_PR(pfIsRegionShow);
	case 102: GET_PR(pfGetColorMode, EN_COLOR);
	case 104: GET_PR(pfGetAlpha, u32);
	case 106: GET_PR(pfGetDstWin, ST_RECT);
	case 108: GET_PR(pfGetDispWin, ST_DRV_OSD_DISP_WIN);
	case 110: GET_PR(pfGetSrcSize, ST_SIZE);
	case 112: GET_PR(pfGetReadOffset, u32);
	case 114: GET_PR(pfGetStride, u32);
	case 116: GET_PR(pfGetBufPhyAddrSize, ST_DRV_OSD_BUF_PHY_ADDR_SIZE);
	case 118: IS_PR(pfIsVFlip);
	case 120: GET_PR(pfGetTotalRQuant, u32);
	case 122: case 124:
		return osd_io_color_key(c, nr, arg, user);
	case 126: GET_P(pfGetLBMThrd, ST_DRV_OSD_LBM_THRD);
	case 128: IS_P(pfIsGainOffset);
	case 130: GET_P(pfGetGainOffset, ST_DRV_OSD_GAIN_OFFSET);
	case 133: GET_P(pfGetPaletteStatus, ST_DRV_OSD_PALETTE_STATUS);
	case 153:
		w = c->u32ForceBufOrder;
		return osd_out(arg, &w, sizeof(w), user);
	case 154:
		w = c->u32CurrentBufOrder;
		return osd_out(arg, &w, sizeof(w), user);
	case 155:
		w = c->u32ChangeCount;
		return osd_out(arg, &w, sizeof(w), user);
	case 166: GET_P(pfGetAlphaSquare, ST_DRV_OSD_ALPHASUARE_PARAM);
	case 169: IS_P(pfIsHFlip);
	case 171: IS_P(pfIsSkipAlpha);
	case 173: GET_P(pfGetPreAlpha, u8);
	case 175: IS_P(pfIsTimingGen);
	case 177: IS_P(pfIsXVYCCTimingSelection);
	case 179: GET_P(pfGetTimeGen, ST_DRV_OSD_TIME_GEN);
	case 181: IS_P(pfIsCRC);
	case 182: GET_P(pfGetCRCResult0, u32);
	case 183: GET_P(pfGetCRCResult1, u32);
	case 184: GET_P(pfGetCRCResult2, u32);
	case 187: IS_P(pfIsXVYCC);
	case 194: IS_P(pfIsBitInvert);
	case 195: GET_P(pfGetRGBMeterResult, u32);
	case 212: {
		struct file *file = NULL;
		int fd = osd_get_out_fence_fd(&file);

		return osd_out_fd(arg, &fd, sizeof(fd), user, fd, file);
	}
	case 214: EMPTY(pfGet8x8MeterResult);
	case 216: IS_P(pfIsSupportAFBC);
	default:
		*handled = false;
		return 0;
	}
}

/* Set commands, semaphore held. */
static int osd_set(struct fb_info *info, ST_KER_OSD_PLANE_CTX *c, u32 nr, unsigned long arg,
		   bool user)
{
	EN_DRV_OSD_PLANE_ID p = c->enPlaneID;
	EN_DRV_OSD_REGION_ID rid = c->enRegionID;
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[rid];
	ST_DRV_OSD_GLOBAL_SETTING *s = c->pstGlobalSetting;
	int ret;

	switch (nr) {
	case 4: REC_((&v), pfSetVideoWinSize, ST_SIZE, (void)0);
	case 6: EN_P(pfUpdateSyncByATVEnable, s->bUpdateSyncByATV);
	case 8: SET32_P(pfSetDBLSync, s->u32DBLSync);
	case 10: REC_P(pfUpdateEnable, ST_DRV_OSD_UPDATE_ENABLE, c->stLastUpdate = v);
	case 12: EN_P(pfShowEnable, s->bShow);
	case 14: EN_P(pfPlaneShowEnable, c->bPlaneShow);
	case 18: EN_P(pfAXIFreezeEnable, c->bPlaneHidden);
	case 20: EN_P(pfAutoMuteEnable, c->bAutoMute);
	case 23: EN_P(pfDramSaveModeEnable, s->bDramSaveMode);
	case 25: EN_P(pfDualOutputEnable, s->bDualOutput);
	case 27: EN_P(pfPureOutputEnable, c->bPureOutput);
	case 32:
		return osd_io_vsync(c, arg);
	case 35:
		return osd_io_set_dmabuf(info, c, arg, user);
	case 39: EN_P(pfSelfFrameWinEnable, c->bSelfFrameWin);
	case 41: REC_P(pfSetSelfFrameWin, ST_DRV_OSD_SELF_FRAME_WIN, c->stSelfFrameWin = v);
	case 43: REC_P(pfSetDPVDERef, ST_DRV_OSD_DPVDE_REF, c->stDPVDERef = v);
	case 51: SET32_P(pfSetPlaneOrder, c->u32PlaneOrder);
	case 55: case 57:
		return osd_io_video_mask(c, nr, arg, user);
	case 59: REC_P(pfSetLBMAddr, ST_DRV_OSD_LBM_ADDR, c->stLBMAddr = v);
	case 62: EN_P(pfAlphaCalEnable, c->bAlphaCal);
	case 64: SET32_P(pfSetAlphaCalThrd, c->u32AlphaCalThrd);
	case 67: EN_P(pfProtectAreaEnable, c->bProtectArea);
	case 69: REC_P(pfSetProtectArea, ST_DRV_OSD_PROTECT_AREA, c->stProtectArea = v);
	case 71: EN_P(pfFlushAXIReadEnable, c->bFlushAXIRead);
	case 73: SET32_P(pfSetFlushAXIReadPattern, c->u32FlushAXIReadPattern);
	case 75: REC_PR(pfScaleEnable, ST_DRV_OSD_SCALE_ENABLE, r->stScaleEnable = v);
	case 77: REC_PR(pfSetScaleFactor, ST_DRV_OSD_SCALE_FACTOR, r->stScaleFactor = v);
	case 79: REC_P(pfSetScaleUpCtrl, ST_DRV_OSD_SCALE_UP_CTRL, c->stScaleUpCtrl = v);
	case 81: REC_P(pfSetScaleDownCtrl, ST_DRV_OSD_SCALE_DOWN_CTRL, c->stScaleDownCtrl = v);
	case 83: REC_P(pfSetScalePathSel, ST_DRV_OSD_SCALE_PATH_SEL, c->stScalePathSel = v);
	case 84: REC_PR(pfSetScaleFunc, ST_DRV_OSD_DISP_WIN, (void)0);
	case 85:
		s->abAlphaBlend[rid] = (u8)arg;
		EN_PR(pfAlphaBlendEnable, r->bAlphaBlend);
	case 87: EN_PR(pfRLDecodeEnable, r->bRLDecode);
	case 89: REC_PR(pfSetRLDecodeCtrl, ST_DRV_OSD_RL_DECODE_CTRL, r->stRLDecodeCtrl = v);
	case 91: EN_P(pfMultiRegionEnable, c->bMultiRegion);
	case 93: EN_P(pfBISTModeEnable, c->bBISTMode);
	case 95: REC_P(pfSetBISTMode, ST_DRV_OSD_BIST_MODE, c->stBISTMode = v);
	case 97: REC_P(pfSetRegionBoundary, ST_DRV_OSD_REGION_BOUNDARY, c->stRegionBoundary = v);
	case 99: EN_PR(pfRegionShowEnable, r->bRegionShow);
	case 101:
		return osd_io_set_color_mode(info, c, arg, user);
	case 103: SET32_PR(pfSetAlpha, r->u32Alpha);
	case 105: REC_PR(pfSetDstWin, ST_RECT,
			 CHECKED(osd_check_area(v.u32W, v.u32H), r->stDstWin = v));
	case 107: REC_PR(pfSetDispWin, ST_DRV_OSD_DISP_WIN,
			 CHECKED(osd_check_area(v.stSrcWin.u32W, v.stSrcWin.u32H) ?:
				 osd_check_area(v.stDstWin.u32W, v.stDstWin.u32H) ?:
				 osd_check_win(c, r, &v.stSrcWin), r->stDispWin = v));
	/* a narrow source is widened to 8 pixels; one of no lines is refused */
	case 109: REC_PR(pfSetSrcSize, ST_SIZE, CHECKED(v.u32H ? 0 : -EINVAL, r->stSrcSize = v));
	case 111: SET32_PR(pfSetReadOffset, r->u32ReadOffset);
	case 113: {
		u32 stride;

		if (arg > U32_MAX - 31)
			return -EINVAL;
		stride = ALIGN((u32)arg, 32);
		ret = osd_view_check(info, stride, &info->var);
		if (ret)
			return ret;
		r->u32Stride = stride;
		OSD_CALL(pfSetStride, p, rid, &stride);
		info->fix.line_length = stride;
		return 0;
	}
	case 115: REC_PR(pfSetBufPhyAddrSize, ST_DRV_OSD_BUF_PHY_ADDR_SIZE,
			 CHECKED(osd_check_buf(c, &v), r->stBufPhyAddrSize = v));
	case 117: EN_PR(pfVFlipEnable, r->bVFlip);
	case 119: SET32_PR(pfSetTotalRQuant, r->u32TotalRQuant);
	case 121: case 123:
		return osd_io_color_key(c, nr, arg, user);
	case 125: REC_P(pfSetLBMThrd, ST_DRV_OSD_LBM_THRD, c->stLBMThrd = v);
	case 127: EN_P(pfGainOffsetEnable, c->bGainOffset);
	case 129: REC_P(pfSetGainOffset, ST_DRV_OSD_GAIN_OFFSET, c->stGainOffset = v);
	case 131: case 132: {
		ST_KER_OSD_PALETTE_REQ v;

		ret = osd_in(&v, arg, sizeof(v), user);
		if (ret)
			return ret;
		return osd_io_palette(c, nr, v.u32Start, v.u32Count, (unsigned long)v.u64Data, user);
	}
	case 152:
		return osd_io_force_buf_order(c, arg, user);
	case 156:
		if ((u8)arg && osd_check_scroll(c, &c->stScroll))
			return -EINVAL;
		WRITE_ONCE(c->stScroll.bEnable, (u8)arg);
		EN_PR(pfScrollEnable, NOSTORE);
	case 157:
		return osd_io_scroll(c, arg, user);
	case 158: {
		u32 v;

		ret = osd_in(&v, arg, sizeof(v), user);
		if (!ret)
			s->u32UserValue = v;
		return ret;
	}
	case 159:
		/* the trace word steers every plane, the locking included */
		if (vyr_perm_admin(NULL))
			return -EPERM;
		printk(OSD_MSG_TAG " !!!!!!  CFG_KER_DBG_MSG_LEVEL = %d !!!!!!\n", 2);
		WRITE_ONCE(gu32APITraceCtl, (u32)arg);
		return 0;
	case 164:
		OSD_CALL(pfAutoMuteTrigger, p);
		return 0;
	case 165: REC_P(pfSetAlphaSquare, ST_DRV_OSD_ALPHASUARE_PARAM, (void)0);
	case 168: {
		ST_DRV_OSD_HFLIP_PARAM v;

		ret = osd_in(&v, arg, sizeof(v), user);
		if (ret)
			return ret;
		c->stHFlip = v;
		c->bHFlip = v.bEnable;
		OSD_CALL(pfHFlip_Enable, p, &v);
		return 0;
	}
	case 170: EN_P(pfSkipAlphaEnable, c->bSkipAlpha);
	case 172:
		c->bPreAlpha = (u8)arg;
		OSD_CALL(pfSetPreAlpha, p, (u8)arg);
		return 0;
	case 174: EN_P(pfTimingGenEnable, c->bTimingGen);
	case 176: EN_P(pfXVYCCTimingSelectionEnable, c->bXVYCCTimingSel);
	case 178: REC_P(pfSetTimeGen, ST_DRV_OSD_TIME_GEN, c->stTimeGen = v);
	case 180: EN_P(pfCRCEnable, c->bCRC);
	case 185: EN_P(pfSetXVYCCUpdateCtrl, NOSTORE);
	case 186: EN_P(pfXVYCCEnable, c->bXVYCC);
	case 193: EN_P(pfBitInvertEnable, c->bBitInvert);
	case 196: REC_P(pfSeparateVsyncExtendEnable, ST_DRV_OSD_VSYNC_EXTEND, (void)0);
	case 197: EMPTY(pfSetAFBC_AXI_Sel);
	case 198: {
		ST_KER_OSD_DUMP_SETTING *v;

		/* the dump writes files wherever the setter names */
		if (vyr_perm_admin(NULL))
			return -EPERM;
		v = kmalloc(sizeof(*v), GFP_KERNEL);
		if (!v)
			return -ENOMEM;
		ret = osd_in(v, arg, sizeof(*v), user);
		if (!ret) {
			v->szPath[sizeof(v->szPath) - 1] = '\0';
			ret = osd_set_dump(v);
		}
		kfree(v);
		return ret;
	}
	case 199: EMPTY(pfSetEarlyTimingSetting);
	case 200: EMPTY(pfSetEarlyTimingSettingMixer);
	case 201: EMPTY(pfSetOSDMixerPath);
	case 202: EMPTY(pfSetOSD4KPath);
	case 203: EMPTY(pfSetSecondScaleUpControl);
	case 205: EMPTY(pfSet8KMixerPlaneOrder);
	case 206: EMPTY(pf8KMixerVideoMaskEnable);
	case 207: EMPTY(pfSet8KMixerVideoMask);
	case 208: EMPTY(pfProtectionAreaDebug);
	case 209: EMPTY(pfSet8KMixerDebugPattern);
	case 210: REC_P(pfSetLBMTestPattern, ST_DRV_OSD_LBM_TEST_PATTERN, (void)0);
	case 211: EMPTY(pfAFBCEnable);
	case 213: EMPTY(pfSet8x8MeterPos);
	case 215: EMPTY(pfCRVMixerEnable);
	case 217: SET32_P(pfSetPlaneAXIChannel, c->u32AXIChannel);
	case 219: EN_P(pfAutoColorKeyEnable, NOSTORE);
	case 221: EMPTY(pfExtBypassGPE);
	default:
		return -EINVAL;
	}
}

/*
 * Set commands with the plane semaphore held. What the plane may be aimed
 * at is the caller's to decide (a kernel caller's, or one with
 * CAP_SYS_RAWIO, is anywhere); a programming the hardware layer refused
 * leaves the region as it was and answers -EINVAL.
 */
static int osd_set_guarded(struct fb_info *info, ST_KER_OSD_PLANE_CTX *c, u32 nr,
			   unsigned long arg, bool user)
{
	ST_KER_OSD_REGION_CTX *r = &c->astRegion[c->enRegionID];
	ST_KER_OSD_REGION_CTX saved = *r;
	u32 line = info->fix.line_length;
	u8 plane_show = c->bPlaneShow;
	int ret;

	osd_refused(c);
	WRITE_ONCE(c->bRawCaller, !user || !vyr_perm_rawio(NULL));
	ret = osd_set(info, c, nr, arg, user);
	WRITE_ONCE(c->bRawCaller, 0);
	if (osd_refused(c)) {
		*r = saved;
		c->bPlaneShow = plane_show;
		info->fix.line_length = line;
		if (!ret)
			ret = -EINVAL;
	}
	return ret;
}

int _ker_osd_fb_Ioctl(struct fb_info *info, u32 nr, unsigned long arg, bool user)
{
	ST_KER_OSD_PLANE_CTX *c = info ? info->par : NULL;
	bool handled, taken;
	int ret;

	if (!c || (u32)c->enPlaneID >= OSD_PLANE_MAX || !T)
		return -EINVAL;
	OSD_ENTER();
	OSD_MSG("PID %d - %s(), PlaneID = %d, Cmd = %d \n", task_pid_nr(current), __func__,
		c->enPlaneID, nr);
	if (!c->bInitialized) {
		OSD_ERR_RL("[FB]OSD not initial yet\n");
		return -EINVAL;
	}
	switch (nr) {
	case 192: {
		ST_KER_OSD_FAST_SCALING v;

		ret = osd_in(&v, arg, sizeof(v), user);
		if (ret)
			return ret;
		osd_fast_scaling_request(&v);
		return 0;
	}
	case 218: {
		u8 b = osd_fast_scaling_grown();

		return osd_out(arg, &b, 1, user);
	}
	case 220:
		return 0;
	}
	if (c->enPlaneID == gu32FastLogoPlaneID)
		_ker_osd_check_fastlogo();
	/* a suspend freezes every plane until someone resumes them */
	if ((nr == 2 || nr == 3) && vyr_perm_admin(NULL))
		return -EPERM;
	if (nr == 2)
		return _ker_osd_Suspend();
	if (nr == 3)
		return _ker_osd_Resume();
	/* in standby nothing is programmed and no query could be answered */
	if (READ_ONCE(c->bSuspended))
		return -EBUSY;

	if (nr >= 5 && nr <= 216) {
		ret = osd_query(info, c, nr, arg, user, &handled);
		if (handled)
			return ret;
	}
	if (nr < 4 || nr > 221)
		return -EINVAL;
	ret = osd_lock_plane(c, __func__, __LINE__, &taken);
	if (ret)
		return ret;
	ret = osd_set_guarded(info, c, nr, arg, user);
	osd_unlock_plane(c, taken);
	OSD_LEAVE();
	return ret;
}

int _ker_osd_fb_ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg)
{
	return _ker_osd_fb_Ioctl(info, KER_OSD_IO_NR(cmd), arg, true);
}

int _ker_osd_drm_fb_Ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg)
{
	return _ker_osd_fb_Ioctl(info, KER_OSD_IO_NR(cmd), arg, false);
}
EXPORT_SYMBOL(_ker_osd_drm_fb_Ioctl);

int _ker_osd_fb_compat_ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg)
{
	ST_KER_OSD_PLANE_CTX *c = info ? info->par : NULL;
	u32 nr = KER_OSD_IO_NR(cmd);
	ST_KER_OSD_PALETTE_REQ32 v;
	bool taken;
	int ret;

	if (!info)
		return -EINVAL;
	/*
	 * The framebuffer core takes the framebuffer's lock around the native
	 * ioctl only: the commands change info->var and info->fix under it.
	 */
	lock_fb_info(info);
	if (nr != 131 && nr != 132) {
		ret = _ker_osd_fb_Ioctl(info, nr, (unsigned long)compat_ptr(arg), true);
		goto out;
	}
	ret = -EINVAL;
	if (!c || !c->bInitialized) {
		OSD_ERR_RL("[FB]OSD not initial yet\n");
		goto out;
	}
	ret = -EBUSY;
	if (READ_ONCE(c->bSuspended))
		goto out;
	ret = osd_lock_plane(c, __func__, __LINE__, &taken);
	if (ret)
		goto out;
	ret = osd_in(&v, (unsigned long)compat_ptr(arg), sizeof(v), true);
	if (!ret)
		ret = osd_io_palette(c, nr, v.u32Start, v.u32Count,
				     (unsigned long)compat_ptr(v.u32Data), true);
	osd_unlock_plane(c, taken);
out:
	unlock_fb_info(info);
	return ret;
}
