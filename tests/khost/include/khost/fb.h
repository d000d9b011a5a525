/*
 * Host kernel: framebuffer devices. register_framebuffer() makes "fb<N>"
 * that tests open with khost::open(); its ioctls and mmap go through the
 * same steps as the kernel's framebuffer core (variable-screen changes run
 * check_var, set_par and pan_display; pans are bounds-checked first; 32-bit
 * callers get the compat layouts).
 */
#ifndef KHOST_FB_H
#define KHOST_FB_H

#include "dev.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef _IOC_NONE
#define _IOC_NRBITS 8
#define _IOC_TYPEBITS 8
#define _IOC_SIZEBITS 14
#define _IOC_NRSHIFT 0
#define _IOC_TYPESHIFT (_IOC_NRSHIFT + _IOC_NRBITS)
#define _IOC_SIZESHIFT (_IOC_TYPESHIFT + _IOC_TYPEBITS)
#define _IOC_DIRSHIFT (_IOC_SIZESHIFT + _IOC_SIZEBITS)
#define _IOC_NONE 0U
#define _IOC_WRITE 1U
#define _IOC_READ 2U
#define _IOC(dir, type, nr, size) \
	(((dir) << _IOC_DIRSHIFT) | ((type) << _IOC_TYPESHIFT) | ((nr) << _IOC_NRSHIFT) | ((size) << _IOC_SIZESHIFT))
#define _IO(type, nr) _IOC(_IOC_NONE, (type), (nr), 0)
#define _IOR(type, nr, t) _IOC(_IOC_READ, (type), (nr), sizeof(t))
#define _IOW(type, nr, t) _IOC(_IOC_WRITE, (type), (nr), sizeof(t))
#define _IOWR(type, nr, t) _IOC(_IOC_READ | _IOC_WRITE, (type), (nr), sizeof(t))
#define _IOC_DIR(nr) (((nr) >> _IOC_DIRSHIFT) & 3)
#define _IOC_TYPE(nr) (((nr) >> _IOC_TYPESHIFT) & 0xff)
#define _IOC_NR(nr) (((nr) >> _IOC_NRSHIFT) & 0xff)
#define _IOC_SIZE(nr) (((nr) >> _IOC_SIZESHIFT) & 0x3fff)
#endif

#define FBIOGET_VSCREENINFO 0x4600
#define FBIOPUT_VSCREENINFO 0x4601
#define FBIOGET_FSCREENINFO 0x4602
#define FBIOGETCMAP 0x4604
#define FBIOPUTCMAP 0x4605
#define FBIOPAN_DISPLAY 0x4606
#define FBIOBLANK 0x4611
#define FBIO_WAITFORVSYNC _IOW('F', 0x20, __u32)

#define FB_TYPE_PACKED_PIXELS 0
#define FB_VISUAL_TRUECOLOR 2
#define FB_VISUAL_PSEUDOCOLOR 3
#define FB_VISUAL_DIRECTCOLOR 4
#define FB_ACCEL_NONE 0
#define FB_ACTIVATE_NOW 0
#define FB_ACTIVATE_NXTOPEN 1
#define FB_ACTIVATE_TEST 2
#define FB_ACTIVATE_MASK 15
#define FB_ACTIVATE_VBL 16
#define FB_ACTIVATE_ALL 64
#define FB_ACTIVATE_FORCE 128
#define FB_ACTIVATE_INV_MODE 256
#define FB_VMODE_NONINTERLACED 0
#define FB_VMODE_YWRAP 256
#define FB_BLANK_UNBLANK 0
#define FB_BLANK_NORMAL 1
#define FB_BLANK_POWERDOWN 4
#define FB_CAP_FOURCC 1
#define FBINFO_DEFAULT 0
#define FBINFO_FLAG_DEFAULT 0
#define FBINFO_HWACCEL_DISABLED 0x0100
#define FBINFO_VIRTFB 0x0004
#define FBINFO_PARTIAL_PAN_OK 0x0040

struct fb_bitfield {
	__u32 offset;
	__u32 length;
	__u32 msb_right;
};

struct fb_var_screeninfo {
	__u32 xres, yres;
	__u32 xres_virtual, yres_virtual;
	__u32 xoffset, yoffset;
	__u32 bits_per_pixel;
	__u32 grayscale;
	struct fb_bitfield red, green, blue, transp;
	__u32 nonstd;
	__u32 activate;
	__u32 height, width;
	__u32 accel_flags;
	__u32 pixclock;
	__u32 left_margin, right_margin, upper_margin, lower_margin;
	__u32 hsync_len, vsync_len;
	__u32 sync;
	__u32 vmode;
	__u32 rotate;
	__u32 colorspace;
	__u32 reserved[4];
};

struct fb_fix_screeninfo {
	char id[16];
	unsigned long smem_start;
	__u32 smem_len;
	__u32 type;
	__u32 type_aux;
	__u32 visual;
	__u16 xpanstep, ypanstep, ywrapstep;
	__u32 line_length;
	unsigned long mmio_start;
	__u32 mmio_len;
	__u32 accel;
	__u16 capabilities;
	__u16 reserved[2];
};

/* What a 32-bit caller passes for FBIOGET_FSCREENINFO and the colour maps. */
struct fb_fix_screeninfo32 {
	char id[16];
	compat_uptr_t smem_start;
	u32 smem_len;
	u32 type;
	u32 type_aux;
	u32 visual;
	u16 xpanstep, ypanstep, ywrapstep;
	u32 line_length;
	compat_uptr_t mmio_start;
	u32 mmio_len;
	u32 accel;
	u16 reserved[3];
};

struct fb_cmap {
	__u32 start;
	__u32 len;
	__u16 *red, *green, *blue, *transp;
};

struct fb_cmap32 {
	u32 start;
	u32 len;
	compat_uptr_t red, green, blue, transp;
};

struct fb_cmap_user {
	__u32 start;
	__u32 len;
	__u16 __user *red, *green, *blue, *transp;
};

struct fb_info;

/* A kernel with framebuffers built and their generic drawing helpers. */
#define CONFIG_FB 1
#define CONFIG_FB_CFB_FILLRECT 1
#define CONFIG_FB_CFB_COPYAREA 1
#define CONFIG_FB_CFB_IMAGEBLIT 1

#define ROP_COPY 0
#define ROP_XOR 1

struct fb_fillrect {
	__u32 dx, dy, width, height;
	__u32 color;
	__u32 rop;
};

struct fb_copyarea {
	__u32 dx, dy, width, height;
	__u32 sx, sy;
};

struct fb_image {
	__u32 dx, dy, width, height;
	__u32 fg_color, bg_color;
	__u8 depth;
	const char *data;
	struct fb_cmap cmap;
};

struct fb_ops {
	struct module *owner;
	int (*fb_open)(struct fb_info *info, int user);
	int (*fb_release)(struct fb_info *info, int user);
	ssize_t (*fb_read)(struct fb_info *info, char __user *buf, size_t count, loff_t *ppos);
	ssize_t (*fb_write)(struct fb_info *info, const char __user *buf, size_t count, loff_t *ppos);
	int (*fb_check_var)(struct fb_var_screeninfo *var, struct fb_info *info);
	int (*fb_set_par)(struct fb_info *info);
	int (*fb_setcolreg)(unsigned regno, unsigned red, unsigned green, unsigned blue,
			    unsigned transp, struct fb_info *info);
	int (*fb_setcmap)(struct fb_cmap *cmap, struct fb_info *info);
	int (*fb_blank)(int blank, struct fb_info *info);
	int (*fb_pan_display)(struct fb_var_screeninfo *var, struct fb_info *info);
	void (*fb_fillrect)(struct fb_info *info, const struct fb_fillrect *rect);
	void (*fb_copyarea)(struct fb_info *info, const struct fb_copyarea *region);
	void (*fb_imageblit)(struct fb_info *info, const struct fb_image *image);
	int (*fb_sync)(struct fb_info *info);
	int (*fb_ioctl)(struct fb_info *info, unsigned int cmd, unsigned long arg);
	int (*fb_compat_ioctl)(struct fb_info *info, unsigned cmd, unsigned long arg);
	int (*fb_mmap)(struct fb_info *info, struct vm_area_struct *vma);
	void (*fb_destroy)(struct fb_info *info);
};

struct fb_info {
	int node;
	int flags;
	struct mutex lock;
	struct fb_var_screeninfo var;
	struct fb_fix_screeninfo fix;
	struct fb_cmap cmap;
	const struct fb_ops *fbops;
	struct device *device;
	struct device *dev;
	char __iomem *screen_base;
	unsigned long screen_size;
	void *pseudo_palette;
	void *par;
	void *khost;
};

struct fb_info *framebuffer_alloc(size_t size, struct device *dev);
void framebuffer_release(struct fb_info *info);
int register_framebuffer(struct fb_info *info);
void unregister_framebuffer(struct fb_info *info);
int fb_alloc_cmap(struct fb_cmap *cmap, int len, int transp);
void fb_dealloc_cmap(struct fb_cmap *cmap);
int fb_copy_cmap(const struct fb_cmap *from, struct fb_cmap *to);
int fb_set_cmap(struct fb_cmap *cmap, struct fb_info *info);
int fb_pan_display(struct fb_info *info, struct fb_var_screeninfo *var);
int fb_set_var(struct fb_info *info, struct fb_var_screeninfo *var);
int fb_blank(struct fb_info *info, int blank);
/*
 * The drawing helpers for a framebuffer in I/O memory: they draw into
 * screen_base, line by line of fix.line_length, for 32 bits per pixel with
 * colours through the pseudo palette (true colour), and 1-bit images.
 */
void cfb_fillrect(struct fb_info *info, const struct fb_fillrect *rect);
void cfb_copyarea(struct fb_info *info, const struct fb_copyarea *area);
void cfb_imageblit(struct fb_info *info, const struct fb_image *image);
void lock_fb_info(struct fb_info *info);
void unlock_fb_info(struct fb_info *info);
extern struct fb_info *registered_fb[32];
extern int num_registered_fb;

#ifdef __cplusplus
}
#endif
#endif
