/* SPDX-License-Identifier: GPL-2.0 */
/*
 * OSD framebuffer layer: what its sources (start-up and framebuffer
 * operations, the ioctl dispatcher, dma-buf export and fences) share.
 */
#ifndef KER_OSD_FB_H
#define KER_OSD_FB_H

#include <linux/fb.h>
#include <linux/device.h>
#include <linux/list.h>

struct dma_buf;

#include "ker_osd.h"

extern ST_KER_OSD_DRIVER_CALLBACK *gstDriverCallback;
extern struct fb_info *gpstFbInfo[OSD_PLANE_MAX];
extern struct device *gstOsdDev;
extern u32 gu32FastLogoPlaneID;

/* Calls a hardware-layer operation; an empty slot is announced and skipped. */
#define OSD_CALL(slot, ...) KER_OSD_CALL(gstDriverCallback, slot, ##__VA_ARGS__)
#define OSD_HAS(slot) (gstDriverCallback && gstDriverCallback->slot)

#define OSD_MSG_TAG "[MSG_DRV_OSD]"

/* First word of the update request: normal planes, cursor plane. */
#define KOSD_UPDATE_NORMAL 14
#define KOSD_UPDATE_CURSOR 16

/* Buffer ranges of a plane as the dma-buf exporter sees them. */
#define KOSD_DMABUF_RANGES 2
typedef struct {
	u32 u32Count;
	u64 au64Start[KOSD_DMABUF_RANGES];
	u64 au64Len[KOSD_DMABUF_RANGES];
} ST_KER_OSD_DMABUF_RANGE;

extern ST_KER_OSD_DMABUF_RANGE gastOsdDmaBufRange[OSD_PLANE_MAX];

/* The caller's record of ioctl NR 33 and 34. */
typedef struct {
	u32 u32Offset;		/* in: offset into the plane buffer; out: descriptor */
	u32 u32Flags;		/* bit 9 (bit 1 of byte 5): apply the offset; out: 2 */
} ST_KER_OSD_DMABUF_REQ;

#define KOSD_DMABUF_REQ_OFFSET	BIT(9)

/* Record of ioctl NR 35: show a dma-buf. */
typedef struct {
	u32 au32Unused[3];
	u32 u32DstX, u32DstY, u32DstW, u32DstH;
	u32 u32BufWidth;
	u32 u32Unused32;
	u32 u32SrcX, u32SrcY, u32SrcW, u32SrcH;
	s32 s32BufFd;
	s32 s32FenceFd;
} ST_KER_OSD_SET_DMABUF;

/* Record of ioctl NR 192: the video path's fast-scaling window and frame. */
typedef struct {
	u8 bWinValid;
	u8 bFrameValid;
	u8 au8Reserved[2];
	ST_RECT stWin;
	ST_RECT stFrame;
} ST_KER_OSD_FAST_SCALING;

/* Record of ioctl NR 198: frame dump settings. */
#define KOSD_DUMP_PATH_LEN 256
typedef struct {
	u32 u32Enable;
	u32 u32Plane;
	u32 u32StartX, u32StartY, u32EndX, u32EndY;
	u32 u32Frames;
	char szPath[KOSD_DUMP_PATH_LEN];
} ST_KER_OSD_DUMP_SETTING;

/* Colour-key commands: which key of the plane's region, and its value. */
typedef struct {
	u32 u32KeyID;
	u8 bEnable;
	u8 au8Reserved[3];
	ST_DRV_OSD_COLOR_KEY_VALUE stValue;
} ST_KER_OSD_COLOR_KEY_REQ;

/* Palette commands: native record, and the one 32-bit callers pass. */
typedef struct {
	u32 u32Start;
	u32 u32Count;
	u64 u64Data;
} ST_KER_OSD_PALETTE_REQ;

typedef struct {
	u32 u32Start;
	u32 u32Count;
	u32 u32Data;
} ST_KER_OSD_PALETTE_REQ32;

KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_DMABUF_REQ) == 8, "dma-buf request");
KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_SET_DMABUF) == 60, "show dma-buf record");
KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_FAST_SCALING) == 36, "fast-scaling record");
KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_DUMP_SETTING) == 284, "dump record");
KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_COLOR_KEY_REQ) == 20, "colour-key record");
KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_PALETTE_REQ) == 16, "palette record");
KOSD_STATIC_ASSERT(sizeof(ST_KER_OSD_PALETTE_REQ32) == 12, "compat palette record");

/* ---- framebuffer operations (ker_osd_fb.c) ---- */
int _ker_osd_Suspend(void);
int _ker_osd_Resume(void);
int osd_lock_plane(ST_KER_OSD_PLANE_CTX *c, const char *func, int line, bool *taken);
void osd_unlock_plane(ST_KER_OSD_PLANE_CTX *c, bool taken);
void osd_keep_palette(ST_KER_OSD_PLANE_CTX *c, EN_COLOR enColor);
u32 _ker_osd_ExchangeBufOrder(u32 u32Order, u32 u32Target);
u32 osd_target_from_forced(u32 u32Forced);
u32 osd_plane_buffers(EN_DRV_OSD_PLANE_ID p);
void osd_fast_scaling_request(const ST_KER_OSD_FAST_SCALING *req);
u8 osd_fast_scaling_grown(void);
int osd_set_dump(const ST_KER_OSD_DUMP_SETTING *req);
void osd_dump_close(void);
int osd_buf_fits_32(u64 start, u64 len);
int osd_view_check(struct fb_info *info, u64 line, const struct fb_var_screeninfo *var);

/* ---- ioctl dispatcher (ker_osd_ioctl.c) ---- */
int _ker_osd_fb_Ioctl(struct fb_info *info, u32 u32Nr, unsigned long arg, bool bUser);
int _ker_osd_fb_ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg);
int _ker_osd_fb_compat_ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg);
int _ker_osd_drm_fb_Ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg);

/* ---- dma-buf export and fences (ker_osd_dmabuf.c) ---- */
int kosd_dma_buf_fd(const ST_KER_OSD_DMABUF_RANGE *pstRange, int flags);
bool kosd_dma_buf_is_plane(const struct dma_buf *buf);
/*
 * Descriptors handed out by the ioctls come reserved, with the file to
 * install once the caller has the record (put_unused_fd and fput if not).
 */
int kosd_plane_dma_buf_fd(EN_DRV_OSD_PLANE_ID enPlane, ST_KER_OSD_DMABUF_REQ *req,
			  struct file **ppFile);
int kosd_dma_buf_fd_to_phys(int fd, struct device *dev, u64 *pu64Addr, u64 *pu64Size);

/* Another owner's dma-buf attached and mapped for the planes' device. */
typedef struct {
	struct dma_buf *pstBuf;
	struct dma_buf_attachment *pstAtt;
	struct sg_table *pstTable;
	u64 u64Addr;			/* its one run of bus addresses */
	u64 u64Size;
	u32 u32Ticket;			/* the update request whose latch leaves it */
	struct list_head stNode;
} ST_KOSD_IMPORT;

ST_KOSD_IMPORT *kosd_import_get(int fd, struct device *dev);
void kosd_import_put(ST_KOSD_IMPORT *imp);
void osd_import_init(void);
int osd_import_claim(EN_DRV_OSD_PLANE_ID enPlane);
void osd_import_unclaim(EN_DRV_OSD_PLANE_ID enPlane);
void osd_import_show(EN_DRV_OSD_PLANE_ID enPlane, ST_KOSD_IMPORT *imp);
void osd_import_vsync(EN_DRV_OSD_PLANE_ID enPlane, u32 u32Taken);
void osd_release_shown_bufs(void);
int osd_get_out_fence_fd(struct file **ppFile);
int osd_get_out_fence_fd_without_signal(EN_DRV_OSD_PLANE_ID enPlane, struct file **ppFile);
void osd_fence_release_plane(EN_DRV_OSD_PLANE_ID enPlane);
void osd_fence_release_all(void);
/* Handed to the hardware layer: called at every vsync for each plane. */
void osd_fence_signal(EN_DRV_OSD_PLANE_ID enPlane);

/* ---- debug menu (ker_osd_dbg.c) ---- */
void KER_OSD_DebugMenuInit(void);

#endif /* KER_OSD_FB_H */
