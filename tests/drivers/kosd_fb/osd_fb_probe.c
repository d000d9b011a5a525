// SPDX-License-Identifier: GPL-2.0
/* Test-side view of the OSD framebuffer layer (compiled with the driver). */
#include <linux/kernel.h>
#include <linux/string.h>
#include <linux/dma-buf.h>
#include <linux/dma-fence.h>
#include <linux/sync_file.h>
#include <linux/semaphore.h>
#include <linux/slab.h>
#include <linux/scatterlist.h>

#include "ker_osd_fb.h"
#include "crv_platform_internal.h"
#include "osd_fb_probe.h"

int _OSD_check_bwerror(void);
struct fb_info *_ker_osd_drm_get_fbinfo(EN_DRV_OSD_PLANE_ID enPlane);

static char calls[1 << 16];
static size_t calls_len;
static u8 lbm_status[OSD_PLANE_MAX];
static ST_SIZE video_win;

static void note(const char *fmt, ...)
{
	va_list ap;

	if (calls_len >= sizeof(calls) - 1)
		return;
	va_start(ap, fmt);
	calls_len += vsnprintf(calls + calls_len, sizeof(calls) - calls_len, fmt, ap);
	va_end(ap);
	if (calls_len > sizeof(calls) - 1)
		calls_len = sizeof(calls) - 1;
}

static ST_KER_OSD_PLANE_CTX *ctx(int p)
{
	return p >= 0 && p < OSD_PLANE_MAX && gpstFbInfo[p] ? gpstFbInfo[p]->par : NULL;
}

static const struct { u32 mode; ST_KER_OSD_COLOR_FMT fmt; } modes[] = {
	{ 0x808, { 8, 0, 0, 0, 0, 0, 0, 0, 0 } },
	{ 0x10056510, { 16, 5, 11, 6, 5, 5, 0, 0, 0 } },
	{ 0x10155510, { 16, 5, 10, 5, 5, 5, 0, 1, 15 } },
	{ 0x10444410, { 16, 4, 8, 4, 4, 4, 0, 4, 12 } },
	{ 0x10888820, { 32, 8, 16, 8, 8, 8, 0, 8, 24 } },
	{ 0x11155510, { 16, 5, 11, 5, 6, 5, 1, 1, 0 } },
	{ 0x11444410, { 16, 4, 12, 4, 8, 4, 4, 4, 0 } },
	{ 0x11888820, { 32, 8, 24, 8, 16, 8, 8, 8, 0 } },
};

static void f_fmt_to_mode(ST_KER_OSD_COLOR_FMT *f, EN_COLOR *m)
{
	int i;

	*m = 0;
	for (i = 0; i < ARRAY_SIZE(modes); i++)
		if (!memcmp(&modes[i].fmt, f, sizeof(*f)))
			*m = modes[i].mode;
}

static void f_mode_to_fmt(ST_KER_OSD_COLOR_FMT *f, EN_COLOR *m)
{
	int i;

	for (i = 0; i < ARRAY_SIZE(modes); i++)
		if (modes[i].mode == *m)
			*f = modes[i].fmt;
	note("ModeToColorFmt(0x%x)\n", *m);
}

#define REG(p) (&ctx(p)->astRegion[r])

static void f_set_color_mode(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, EN_COLOR *m)
{ note("SetColorMode(%d,%d,0x%x)\n", p, r, *m); }
static void f_set_alpha(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, u32 *a)
{ note("SetAlpha(%d,%d,%u)\n", p, r, *a); }
static void f_alpha_blend(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, u8 *b)
{ note("AlphaBlendEnable(%d,%d,%u)\n", p, r, *b); }
static void f_set_stride(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, u32 *s)
{ note("SetStride(%d,%d,%u)\n", p, r, *s); }
static void f_get_stride(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, u32 *s)
{ *s = REG(p)->u32Stride; }
static void f_set_disp_win(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, ST_DRV_OSD_DISP_WIN *w)
{
	note("SetDispWin(%d,%d,%u,%u,%u,%u,%u,%u,%u,%u)\n", p, r, w->stSrcWin.u32X, w->stSrcWin.u32Y,
	     w->stSrcWin.u32W, w->stSrcWin.u32H, w->stDstWin.u32X, w->stDstWin.u32Y,
	     w->stDstWin.u32W, w->stDstWin.u32H);
}
static void f_get_disp_win(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, ST_DRV_OSD_DISP_WIN *w)
{ *w = REG(p)->stDispWin; }
static void f_set_buf(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, ST_DRV_OSD_BUF_PHY_ADDR_SIZE *b)
{ note("SetBufPhyAddrSize(%d,%d,0x%x,0x%x)\n", p, r, b->u32BufPhyAddr, b->u32Size); }
static void f_set_order(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_CURRENT_BUF_ORDER *o)
{ note("SetCurrentBufOrder(%d,%u)\n", p, *o); }
static void f_is_plane_show(EN_DRV_OSD_PLANE_ID p, u8 *b) { *b = ctx(p)->bPlaneShow; }
static void f_plane_show(EN_DRV_OSD_PLANE_ID p, u8 *b) { note("PlaneShowEnable(%d,%u)\n", p, *b); }
static void f_is_region_show(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, u8 *b)
{ *b = REG(p)->bRegionShow; }
/* The fakes program no scan to judge: the region shows as the layer would show it. */
static void f_region_show(EN_DRV_OSD_PLANE_ID p, EN_DRV_OSD_REGION_ID r, u8 *b)
{
	u8 raw = ctx(p)->bRawCaller;

	ctx(p)->bRawCaller = 1;
	_ker_osd_RegionShow_Enable(p, r, b);
	ctx(p)->bRawCaller = raw;
}
static void f_is_timing_gen(EN_DRV_OSD_PLANE_ID p, u8 *b) { *b = ctx(p)->bTimingGen; }
static void f_set_video_win(ST_SIZE *s)
{ video_win = *s; note("SetVideoWinSize(%u,%u)\n", s->u32W, s->u32H); }
static void f_get_video_win(ST_SIZE *s) { *s = video_win; }
static void f_skip_alpha(EN_DRV_OSD_PLANE_ID p, u8 *b) { note("SkipAlphaEnable(%d,%u)\n", p, *b); }
static void f_set_palette(EN_DRV_OSD_PLANE_ID p, ST_DRV_OSD_PALETTE_DATA *d)
{
	note("SetPaletteData(%d,%u,%u,0x%x,0x%x)\n", p, d->u32Start, d->u32Count, d->pu32Data[0],
	     d->pu32Data[d->u32Count - 1]);
}
static void f_get_palette(EN_DRV_OSD_PLANE_ID p, ST_DRV_OSD_PALETTE_DATA *d)
{
	u32 i;

	for (i = 0; i < d->u32Count; i++)
		d->pu32Data[i] = 0xff000000 | (d->u32Start + i);
	note("GetPaletteData(%d,%u,%u)\n", p, d->u32Start, d->u32Count);
}
static void f_axi_channel(EN_DRV_OSD_PLANE_ID p, u32 *c) { note("SetPlaneAXIChannel(%d,%u)\n", p, *c); }
static void f_hflip(EN_DRV_OSD_PLANE_ID p, ST_DRV_OSD_HFLIP_PARAM *h)
{ note("HFlip_Enable(%d,%u,%u)\n", p, h->bEnable, h->u32Width); }
static void f_lbm_status(EN_DRV_OSD_PLANE_ID p, ST_DRV_OSD_LBM_STATUS *s)
{ s->u8Status = lbm_status[p]; s->u8Error = 0; }
static void f_osd_visible(u8 *b) { *b = 1; }
static void f_atv(EN_DRV_OSD_PLANE_ID p, u8 *b) { note("UpdateSyncByATVEnable(%d,%u)\n", p, *b); }

/*
 * These slots answer with recording fakes, so the tests see what the
 * framebuffer layer asks of the hardware layer (whose own suites check the
 * registers each operation writes).
 */
#define FAKE(slot, fn) (tbl->slot = fn)

void osd_fb_probe_install_fakes(void)
{
	ST_KER_OSD_DRIVER_CALLBACK *tbl = _ker_osd_Get_DriverCallback();

	FAKE(pfConvertColorFmtToMode, f_fmt_to_mode);
	FAKE(pfConvertModeToColorFmt, f_mode_to_fmt);
	FAKE(pfSetColorMode, f_set_color_mode);
	FAKE(pfSetAlpha, f_set_alpha);
	FAKE(pfAlphaBlendEnable, f_alpha_blend);
	FAKE(pfSetStride, f_set_stride);
	FAKE(pfGetStride, f_get_stride);
	FAKE(pfSetDispWin, f_set_disp_win);
	FAKE(pfGetDispWin, f_get_disp_win);
	FAKE(pfSetBufPhyAddrSize, f_set_buf);
	FAKE(pfSetCurrentBufOrder, f_set_order);
	FAKE(pfIsPlaneShow, f_is_plane_show);
	FAKE(pfPlaneShowEnable, f_plane_show);
	FAKE(pfIsRegionShow, f_is_region_show);
	FAKE(pfRegionShowEnable, f_region_show);
	FAKE(pfIsTimingGen, f_is_timing_gen);
	FAKE(pfSetVideoWinSize, f_set_video_win);
	FAKE(pfGetVideoWinSize, f_get_video_win);
	FAKE(pfSkipAlphaEnable, f_skip_alpha);
	FAKE(pfSetPaletteData, f_set_palette);
	FAKE(pfGetPaletteData, f_get_palette);
	FAKE(pfSetPlaneAXIChannel, f_axi_channel);
	FAKE(pfHFlip_Enable, f_hflip);
	FAKE(pfGetLBMStatus, f_lbm_status);
	FAKE(pfIsOsdVisible, f_osd_visible);
	FAKE(pfUpdateSyncByATVEnable, f_atv);
}

/* Leaves the gain/offset operations out, as a build without them would. */
void osd_fb_probe_drop_gain_offset(void)
{
	ST_KER_OSD_DRIVER_CALLBACK *tbl = _ker_osd_Get_DriverCallback();

	tbl->pfGetGainOffset = NULL;
	tbl->pfIsGainOffset = NULL;
}

const char *osd_fb_probe_calls(void) { return calls; }
void osd_fb_probe_clear_calls(void) { calls_len = 0; calls[0] = '\0'; }

int osd_fb_probe_registered(int p) { return ctx(p) != NULL; }
unsigned int osd_fb_probe_buf_start(int p) { return ctx(p) ? ctx(p)->u32BufStart : 0; }
unsigned int osd_fb_probe_buf_len(int p) { return ctx(p) ? ctx(p)->u32BufLen : 0; }
unsigned int osd_fb_probe_stride(int p) { return ctx(p)->astRegion[0].u32Stride; }
unsigned int osd_fb_probe_order(int p) { return ctx(p)->u32CurrentBufOrder; }
int osd_fb_probe_initialized(int p) { return ctx(p)->bInitialized; }
void osd_fb_probe_set_initialized(int p, int on) { ctx(p)->bInitialized = on; }
void osd_fb_probe_set_timing_gen(int p, int on) { ctx(p)->bTimingGen = on; }
unsigned int osd_fb_probe_trace(void) { return gu32APITraceCtl; }
void osd_fb_probe_set_trace(unsigned int v) { gu32APITraceCtl = v; }
void osd_fb_probe_sem_down(int p) { down(&ctx(p)->stSem); }
void osd_fb_probe_sem_up(int p) { up(&ctx(p)->stSem); }
int osd_fb_probe_sem_count(int p) { return ctx(p)->stSem.count; }

int osd_fb_probe_kernel_ioctl(int p, unsigned int cmd, unsigned long arg)
{
	return _ker_osd_drm_fb_Ioctl(_ker_osd_drm_get_fbinfo(p), cmd, arg);
}

int osd_fb_probe_dmabuf_phys(int fd, unsigned long long *addr, unsigned long long *size)
{
	u64 a = 0, s = 0;
	int ret = kosd_dma_buf_fd_to_phys(fd, gstOsdDev, &a, &s);

	*addr = a;
	*size = s;
	return ret;
}

int osd_fb_probe_fence_signaled(int fd)
{
	struct dma_fence *f = sync_file_get_fence(fd);
	int ret;

	if (!f)
		return -1;
	ret = dma_fence_is_signaled(f);
	dma_fence_put(f);
	return ret;
}

int osd_fb_probe_bwerror(void) { return _OSD_check_bwerror(); }
void osd_fb_probe_set_lbm_status(int p, unsigned char s) { lbm_status[p] = s; }
int osd_fb_probe_raise_vsync(void) { return crv_sys_irq_raise(KER_SYS_IRQ_DP_VSYNC); }

int osd_fb_probe_export(unsigned long long start, unsigned long long len)
{
	ST_KER_OSD_DMABUF_RANGE r = { 1, { start, 0 }, { len, 0 } };

	return kosd_dma_buf_fd(&r, O_RDWR);
}

int osd_fb_probe_pmi_suspend(void) { return crv_pmi_suspend_all(); }
int osd_fb_probe_pmi_resume(void) { return crv_pmi_resume_all(); }

void KER_OSD_Engine_Disable(void);
void KER_OSD_Engine_Enable(void);
int DRV_OSD_Is_Osd_Visible(u8 *pu8Visible);

void osd_fb_probe_engine(int on)
{
	if (on)
		KER_OSD_Engine_Enable();
	else
		KER_OSD_Engine_Disable();
}

int osd_fb_probe_visible(void)
{
	u8 v = 0xee;

	return DRV_OSD_Is_Osd_Visible(&v) == v ? v : -1;
}

int osd_fb_probe_console_draw(int p)
{
	struct fb_info *info = _ker_osd_drm_get_fbinfo(p);
	const struct fb_ops *ops = info ? info->fbops : NULL;
	struct fb_fillrect rect = { 0, 0, 4, 2, 15, ROP_COPY };
	struct fb_copyarea area = { 8, 4, 4, 2, 0, 0 };
	static const char glyph[1] = { (char)0xf0 };
	struct fb_image image = { 0, 10, 8, 1, 15, 0, 1, glyph };

	if (!ops || !ops->fb_fillrect || !ops->fb_copyarea || !ops->fb_imageblit)
		return -1;
	ops->fb_fillrect(info, &rect);
	ops->fb_copyarea(info, &area);
	ops->fb_imageblit(info, &image);
	return 0;
}

static struct dma_buf *import_buf;
static struct dma_buf_attachment *import_att;
static struct sg_table *import_sgt;

int osd_fb_probe_import_map(int fd, unsigned long long *bus)
{
	import_buf = dma_buf_get(fd);
	if (IS_ERR(import_buf))
		return -1;
	import_att = dma_buf_attach(import_buf, gstOsdDev);
	if (IS_ERR(import_att)) {
		dma_buf_put(import_buf);
		return -1;
	}
	import_sgt = dma_buf_map_attachment_unlocked(import_att, DMA_TO_DEVICE);
	if (IS_ERR(import_sgt)) {
		dma_buf_detach(import_buf, import_att);
		dma_buf_put(import_buf);
		return -1;
	}
	*bus = sg_dma_address(import_sgt->sgl);
	return 0;
}

void osd_fb_probe_import_unmap(void)
{
	dma_buf_unmap_attachment_unlocked(import_att, import_sgt, DMA_TO_DEVICE);
	dma_buf_detach(import_buf, import_att);
	dma_buf_put(import_buf);
}

void osd_fb_probe_menu_idle(void)
{
	crv_dbg_wait_idle();
}

/* Another owner's buffer: bus addresses only, as reserved memory has. */
struct probe_foreign {
	u64 addr[2], len[2];
	int n;
};

static int foreign_mapped, foreign_released;

static struct sg_table *foreign_map(struct dma_buf_attachment *a, enum dma_data_direction dir)
{
	struct probe_foreign *f = a->dmabuf->priv;
	struct sg_table *t = kzalloc(sizeof(*t), GFP_KERNEL);
	struct scatterlist *sg;
	int i;

	if (!t || sg_alloc_table(t, f->n, GFP_KERNEL)) {
		kfree(t);
		return ERR_PTR(-ENOMEM);
	}
	for_each_sg(t->sgl, sg, f->n, i) {
		sg_dma_address(sg) = f->addr[i];
		sg_dma_len(sg) = f->len[i];
	}
	foreign_mapped++;
	return t;
}

static void foreign_unmap(struct dma_buf_attachment *a, struct sg_table *t, enum dma_data_direction dir)
{
	sg_free_table(t);
	kfree(t);
	foreign_mapped--;
}

void (*osd_fb_probe_foreign_freed)(unsigned long long addr, unsigned long long len);

static void foreign_release(struct dma_buf *d)
{
	struct probe_foreign *f = d->priv;
	int i;

	for (i = 0; i < f->n && osd_fb_probe_foreign_freed; i++)
		osd_fb_probe_foreign_freed(f->addr[i], f->len[i]);
	kfree(f);
	foreign_released++;
}

static const struct dma_buf_ops foreign_ops = {
	.map_dma_buf = foreign_map,
	.unmap_dma_buf = foreign_unmap,
	.release = foreign_release,
};

int osd_fb_probe_foreign(unsigned long long a0, unsigned long long l0, unsigned long long a1,
			 unsigned long long l1)
{
	DEFINE_DMA_BUF_EXPORT_INFO(info);
	struct probe_foreign *f = kzalloc(sizeof(*f), GFP_KERNEL);
	struct dma_buf *d;

	if (!f)
		return -ENOMEM;
	f->addr[0] = a0;
	f->len[0] = l0;
	f->addr[1] = a1;
	f->len[1] = l1;
	f->n = l1 ? 2 : 1;
	info.ops = &foreign_ops;
	info.size = l0 + l1;
	info.priv = f;
	d = dma_buf_export(&info);
	if (IS_ERR(d)) {
		kfree(f);
		return PTR_ERR(d);
	}
	return dma_buf_fd(d, O_CLOEXEC);
}

int osd_fb_probe_foreign_mapped(void) { return foreign_mapped; }
int osd_fb_probe_foreign_released(void) { return foreign_released; }

void osd_fb_probe_fb_lock(int plane, int on)
{
	struct fb_info *info = gpstFbInfo[plane];

	if (on)
		lock_fb_info(info);
	else
		unlock_fb_info(info);
}
