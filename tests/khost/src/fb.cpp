// Host kernel: framebuffer registration and the framebuffer core's file
// operations (ioctl, compat ioctl, mmap) in front of the driver's fb_ops.
#include "internal.hpp"
#include "khost/oracle.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <vector>

extern "C" {
#include "khost/fb.h"
void khost_add_node(const char *name, const struct file_operations *fops, void *private_data);
void khost_remove_node(const char *name);
struct fb_info *registered_fb[32];
int num_registered_fb;
}

using namespace khost::detail;

namespace {

struct fb_info *info_of(struct file *f) { return static_cast<struct fb_info *>(f->private_data); }

// Framebuffers a console has taken over (fb_console_bind).
std::set<struct fb_info *> console_bound;

// The console lets go of a framebuffer, as fbcon's unbind does.
void console_release(struct fb_info *info)
{
	if (!console_bound.erase(info))
		return;
	lock_fb_info(info);
	if (info->fbops->fb_release)
		info->fbops->fb_release(info, 0);
	unlock_fb_info(info);
	module_put(info->fbops->owner);
}

// The virtual size a console on each framebuffer draws in: the one of the
// last mode set (registration, FBIOPUT_VSCREENINFO), as fbcon learns of
// nothing else; its lines and pixels are the present ones, which the
// drawing helpers read at every call.
std::map<struct fb_info *, std::pair<u32, u32>> console_size;

void mode_set(struct fb_info *info)
{
	console_size[info] = {info->var.xres_virtual, info->var.yres_virtual};
}

// Whether a console draws through the screen memory: with the core's
// helpers, which write at screen_base plus an offset, whatever it holds.
bool console_draws(const struct fb_info *info)
{
	const struct fb_ops *o = info->fbops;
	return o->fb_fillrect == cfb_fillrect || o->fb_copyarea == cfb_copyarea || o->fb_imageblit == cfb_imageblit;
}

// After every call on a framebuffer: the console's view, over the size it
// knows and the present one, stays inside the screen memory mapped for it.
// A console that draws nothing has no view; one that draws with no screen
// memory writes at the null address. A console takes a framebuffer over as
// it registers and draws at once (fbcon does): past the mapping then, it is
// a fault whoever made the call.
void console_view(struct fb_info *info, bool registering = false)
{
	lock_fb_info(info);
	bool draws = console_draws(info), mapped = info->screen_base != nullptr;
	auto [w, h] = console_size[info];
	const struct fb_var_screeninfo &v = info->var;
	auto bytes = [&](unsigned __int128 x, unsigned __int128 y) {
		return y ? info->fix.line_length * (y - 1) + x * ((v.bits_per_pixel + 7) / 8) : 0;
	};
	unsigned __int128 reach = std::max(bytes(v.xres_virtual, v.yres_virtual), bytes(w, h));
	std::string what = "fb" + std::to_string(info->node) + "'s console, lines of " +
			   std::to_string(info->fix.line_length) + " bytes over " + std::to_string(v.yres_virtual) +
			   " lines (" + std::to_string(h) + " at the last mode set),";
	uint64_t size = info->screen_size, r = reach > UINT64_MAX ? UINT64_MAX : (uint64_t)reach;
	unlock_fb_info(info);
	if (!draws)
		return;
	if (!mapped)
		fault(what + " draws with no screen memory mapped");
	else if (registering && r > size)
		fault(what + " reaches " + std::to_string(r) + " bytes into a mapping of " + std::to_string(size));
	else if (!registering)
		khost::oracle::check_mapping(what.c_str(), r, size);
}

int fbmem_open(struct inode *inode, struct file *f)
{
	auto *info = static_cast<struct fb_info *>(inode->i_private);
	if (!info)
		return -ENODEV;
	f->private_data = info;
	if (info->fbops->owner && !try_module_get(info->fbops->owner))
		return -ENODEV;
	int r = info->fbops->fb_open ? info->fbops->fb_open(info, 1) : 0;
	if (r && info->fbops->owner)
		module_put(info->fbops->owner);
	return r;
}

int fbmem_release(struct inode *inode, struct file *f)
{
	(void)inode;
	struct fb_info *info = info_of(f);
	lock_fb_info(info);
	if (info->fbops->fb_release)
		info->fbops->fb_release(info, 1);
	unlock_fb_info(info);
	if (info->fbops->owner)
		module_put(info->fbops->owner);
	return 0;
}

int set_user_cmap(const struct fb_cmap_user *c, struct fb_info *info)
{
	if (c->len > 256)
		return -EINVAL;
	struct fb_cmap k = {};
	int r = fb_alloc_cmap(&k, (int)c->len, c->transp != nullptr);
	if (r)
		return r;
	size_t n = c->len * sizeof(u16);
	if (copy_from_user(k.red, c->red, n) || copy_from_user(k.green, c->green, n) ||
	    copy_from_user(k.blue, c->blue, n) || (c->transp && copy_from_user(k.transp, c->transp, n))) {
		fb_dealloc_cmap(&k);
		return -EFAULT;
	}
	k.start = c->start;
	lock_fb_info(info);
	r = fb_set_cmap(&k, info);
	unlock_fb_info(info);
	fb_dealloc_cmap(&k);
	return r;
}

int get_user_cmap(const struct fb_cmap_user *c, struct fb_info *info)
{
	const struct fb_cmap &from = info->cmap;
	if (c->start >= from.len || c->len > from.len - c->start)
		return -EINVAL;
	size_t n = c->len * sizeof(u16);
	if (copy_to_user(c->red, from.red + c->start, n) || copy_to_user(c->green, from.green + c->start, n) ||
	    copy_to_user(c->blue, from.blue + c->start, n) ||
	    (c->transp && from.transp && copy_to_user(c->transp, from.transp + c->start, n)))
		return -EFAULT;
	return 0;
}

long do_fb_ioctl(struct fb_info *info, unsigned cmd, unsigned long arg)
{
	void __user *argp = (void __user *)arg;
	struct fb_var_screeninfo var;
	long r;

	switch (cmd) {
	case FBIOGET_VSCREENINFO:
		lock_fb_info(info);
		var = info->var;
		unlock_fb_info(info);
		return copy_to_user(argp, &var, sizeof(var)) ? -EFAULT : 0;
	case FBIOPUT_VSCREENINFO:
		if (copy_from_user(&var, argp, sizeof(var)))
			return -EFAULT;
		lock_fb_info(info);
		r = fb_set_var(info, &var);
		unlock_fb_info(info);
		if (!r && copy_to_user(argp, &var, sizeof(var)))
			r = -EFAULT;
		return r;
	case FBIOGET_FSCREENINFO: {
		lock_fb_info(info);
		struct fb_fix_screeninfo fix = info->fix;
		unlock_fb_info(info);
		return copy_to_user(argp, &fix, sizeof(fix)) ? -EFAULT : 0;
	}
	case FBIOPUTCMAP:
	case FBIOGETCMAP: {
		struct fb_cmap_user c;
		if (copy_from_user(&c, argp, sizeof(c)))
			return -EFAULT;
		return cmd == FBIOPUTCMAP ? set_user_cmap(&c, info) : get_user_cmap(&c, info);
	}
	case FBIOPAN_DISPLAY:
		if (copy_from_user(&var, argp, sizeof(var)))
			return -EFAULT;
		lock_fb_info(info);
		r = fb_pan_display(info, &var);
		unlock_fb_info(info);
		if (!r && copy_to_user(argp, &var, sizeof(var)))
			return -EFAULT;
		return r;
	case FBIOBLANK:
		lock_fb_info(info);
		r = fb_blank(info, (int)arg);
		unlock_fb_info(info);
		return r;
	default:
		lock_fb_info(info);
		r = info->fbops->fb_ioctl ? info->fbops->fb_ioctl(info, cmd, arg) : -ENOTTY;
		unlock_fb_info(info);
		return r;
	}
}

long fb_compat_call(struct fb_info *info, unsigned int cmd, unsigned long arg);

long fbmem_ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	long r = do_fb_ioctl(info_of(f), cmd, arg);
	console_view(info_of(f));
	return r;
}

long fbmem_compat_ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	long r = fb_compat_call(info_of(f), cmd, arg);
	console_view(info_of(f));
	return r;
}

long fb_compat_call(struct fb_info *info, unsigned int cmd, unsigned long arg)
{
	switch (cmd) {
	case FBIOGET_VSCREENINFO:
	case FBIOPUT_VSCREENINFO:
	case FBIOPAN_DISPLAY:
	case FBIOBLANK:
		return do_fb_ioctl(info, cmd, (unsigned long)compat_ptr((compat_uptr_t)arg));
	case FBIOGET_FSCREENINFO: {
		struct fb_fix_screeninfo32 fix32 = {};
		lock_fb_info(info);
		memcpy(fix32.id, info->fix.id, sizeof(fix32.id));
		fix32.smem_start = (compat_uptr_t)info->fix.smem_start;
		fix32.smem_len = info->fix.smem_len;
		fix32.type = info->fix.type;
		fix32.type_aux = info->fix.type_aux;
		fix32.visual = info->fix.visual;
		fix32.xpanstep = info->fix.xpanstep;
		fix32.ypanstep = info->fix.ypanstep;
		fix32.ywrapstep = info->fix.ywrapstep;
		fix32.line_length = info->fix.line_length;
		fix32.mmio_start = (compat_uptr_t)info->fix.mmio_start;
		fix32.mmio_len = info->fix.mmio_len;
		fix32.accel = info->fix.accel;
		unlock_fb_info(info);
		return copy_to_user(compat_ptr((compat_uptr_t)arg), &fix32, sizeof(fix32)) ? -EFAULT : 0;
	}
	case FBIOGETCMAP:
	case FBIOPUTCMAP: {
		struct fb_cmap32 c32;
		if (copy_from_user(&c32, compat_ptr((compat_uptr_t)arg), sizeof(c32)))
			return -EFAULT;
		struct fb_cmap_user c = {c32.start, c32.len, (u16 *)compat_ptr(c32.red), (u16 *)compat_ptr(c32.green),
					 (u16 *)compat_ptr(c32.blue), (u16 *)compat_ptr(c32.transp)};
		return cmd == FBIOPUTCMAP ? set_user_cmap(&c, info) : get_user_cmap(&c, info);
	}
	default:
		/* Unlike the native path, the core calls the driver without the
		 * framebuffer's lock (fb_compat_ioctl in 5.4 and 6.1 alike). */
		if (!info->fbops->fb_compat_ioctl)
			return -ENOIOCTLCMD;
		return info->fbops->fb_compat_ioctl(info, cmd, arg);
	}
}

int fbmem_mmap(struct file *f, struct vm_area_struct *vma)
{
	struct fb_info *info = info_of(f);
	if (info->fbops->fb_mmap)
		return info->fbops->fb_mmap(info, vma);
	/* The core's own mapping of the screen memory. */
	unsigned long off = vma->vm_pgoff << PAGE_SHIFT;
	unsigned long len = PAGE_ALIGN((info->fix.smem_start & ~PAGE_MASK) + info->fix.smem_len);
	if (off >= len || vma->vm_end - vma->vm_start > len - off)
		return -EINVAL;
	return remap_pfn_range(vma, vma->vm_start, (info->fix.smem_start + off) >> PAGE_SHIFT,
			       vma->vm_end - vma->vm_start, vma->vm_page_prot);
}

const struct file_operations fbmem_fops = [] {
	struct file_operations f = {};
	f.open = fbmem_open;
	f.release = fbmem_release;
	f.unlocked_ioctl = fbmem_ioctl;
	f.compat_ioctl = fbmem_compat_ioctl;
	f.mmap = fbmem_mmap;
	return f;
}();

} // namespace

extern "C" {

struct fb_info *framebuffer_alloc(size_t size, struct device *dev)
{
	size_t head = (sizeof(struct fb_info) + sizeof(long) - 1) & ~(sizeof(long) - 1);
	auto *info = (struct fb_info *)kzalloc(head + size, GFP_KERNEL);
	if (!info)
		return nullptr;
	if (size)
		info->par = (char *)info + head;
	info->device = dev;
	khost_mutex_init(&info->lock, "fb_info.lock");
	return info;
}

void framebuffer_release(struct fb_info *info)
{
	kfree(info);
}

void lock_fb_info(struct fb_info *info) { mutex_lock(&info->lock); }
void unlock_fb_info(struct fb_info *info) { mutex_unlock(&info->lock); }

int register_framebuffer(struct fb_info *info)
{
	khost_might_sleep("register_framebuffer");
	int i;
	for (i = 0; i < 32 && registered_fb[i]; i++)
		;
	if (i == 32)
		return -ENXIO;
	info->node = i;
	registered_fb[i] = info;
	mode_set(info);
	console_view(info, true);
	num_registered_fb++;
	if (!info->lock.name)
		khost_mutex_init(&info->lock, "fb_info.lock");
	std::string name = "fb" + std::to_string(i);
	khost_add_node(name.c_str(), &fbmem_fops, info);
	track("framebuffer", info, name + " not unregistered");
	return 0;
}

void unregister_framebuffer(struct fb_info *info)
{
	if (info->node < 0 || info->node >= 32 || registered_fb[info->node] != info) {
		fault("unregister_framebuffer of a framebuffer not registered");
		return;
	}
	console_release(info);
	khost_remove_node(("fb" + std::to_string(info->node)).c_str());
	registered_fb[info->node] = nullptr;
	num_registered_fb--;
	untrack("framebuffer", info);
	console_size.erase(info);
	if (info->fbops->fb_destroy)
		info->fbops->fb_destroy(info);
}

int fb_alloc_cmap(struct fb_cmap *cmap, int len, int transp)
{
	memset(cmap, 0, sizeof(*cmap));
	if (!len)
		return 0;
	size_t n = (size_t)len * sizeof(u16);
	cmap->red = (u16 *)kzalloc(n, GFP_KERNEL);
	cmap->green = (u16 *)kzalloc(n, GFP_KERNEL);
	cmap->blue = (u16 *)kzalloc(n, GFP_KERNEL);
	cmap->transp = transp ? (u16 *)kzalloc(n, GFP_KERNEL) : nullptr;
	if (!cmap->red || !cmap->green || !cmap->blue || (transp && !cmap->transp)) {
		fb_dealloc_cmap(cmap);
		return -ENOMEM;
	}
	cmap->len = (u32)len;
	return 0;
}

void fb_dealloc_cmap(struct fb_cmap *cmap)
{
	kfree(cmap->red);
	kfree(cmap->green);
	kfree(cmap->blue);
	kfree(cmap->transp);
	cmap->red = cmap->green = cmap->blue = cmap->transp = nullptr;
	cmap->len = 0;
}

int fb_copy_cmap(const struct fb_cmap *from, struct fb_cmap *to)
{
	u32 tooff = 0, fromoff = 0;
	if (to->start > from->start)
		fromoff = to->start - from->start;
	else
		tooff = from->start - to->start;
	if (fromoff >= from->len || tooff >= to->len)
		return -EINVAL;
	size_t n = std::min(from->len - fromoff, to->len - tooff) * sizeof(u16);
	memcpy(to->red + tooff, from->red + fromoff, n);
	memcpy(to->green + tooff, from->green + fromoff, n);
	memcpy(to->blue + tooff, from->blue + fromoff, n);
	if (from->transp && to->transp)
		memcpy(to->transp + tooff, from->transp + fromoff, n);
	return 0;
}

int fb_set_cmap(struct fb_cmap *cmap, struct fb_info *info)
{
	int r = 0;
	if (!cmap->len)
		return 0;
	if (info->fbops->fb_setcmap) {
		r = info->fbops->fb_setcmap(cmap, info);
	} else if (info->fbops->fb_setcolreg) {
		for (u32 i = 0; i < cmap->len && !r; i++)
			r = info->fbops->fb_setcolreg(cmap->start + i, cmap->red[i], cmap->green[i], cmap->blue[i],
						      cmap->transp ? cmap->transp[i] : 0xffff, info);
	} else {
		return -EINVAL;
	}
	if (!r && cmap != &info->cmap && info->cmap.len)
		fb_copy_cmap(cmap, &info->cmap);
	return r;
}

int fb_pan_display(struct fb_info *info, struct fb_var_screeninfo *var)
{
	struct fb_fix_screeninfo *fix = &info->fix;
	unsigned int yres = info->var.yres;
	int err = 0;

	if (var->yoffset > 0) {
		if (var->vmode & FB_VMODE_YWRAP) {
			if (!fix->ywrapstep || (var->yoffset % fix->ywrapstep))
				err = -EINVAL;
			else
				yres = 0;
		} else if (!fix->ypanstep || (var->yoffset % fix->ypanstep)) {
			err = -EINVAL;
		}
	}
	if (var->xoffset > 0 && (!fix->xpanstep || (var->xoffset % fix->xpanstep)))
		err = -EINVAL;
	if (err || !info->fbops->fb_pan_display || var->yoffset > info->var.yres_virtual - yres ||
	    var->xoffset > info->var.xres_virtual - info->var.xres)
		return -EINVAL;
	if ((err = info->fbops->fb_pan_display(var, info)))
		return err;
	info->var.xoffset = var->xoffset;
	info->var.yoffset = var->yoffset;
	if (var->vmode & FB_VMODE_YWRAP)
		info->var.vmode |= FB_VMODE_YWRAP;
	else
		info->var.vmode &= ~FB_VMODE_YWRAP;
	return 0;
}

int fb_set_var(struct fb_info *info, struct fb_var_screeninfo *var)
{
	if (!(var->activate & FB_ACTIVATE_FORCE) && !memcmp(&info->var, var, sizeof(*var)))
		return 0;
	if (!info->fbops->fb_check_var) {
		*var = info->var;
		return 0;
	}
	if (var->xres < 8 || var->yres < 8)
		return -EINVAL;
	u32 unused;
	if (__builtin_mul_overflow(var->xres, var->yres, &unused) ||
	    __builtin_mul_overflow(var->xres_virtual, var->yres_virtual, &unused))
		return -EINVAL;
	int r = info->fbops->fb_check_var(var, info);
	if (r)
		return r;
	if (var->xres_virtual < var->xres || var->yres_virtual < var->yres) {
		printk(KERN_WARNING "WARNING: fbcon: Driver '%s' missed to adjust virtual screen size (%ux%u vs. %ux%u)\n",
		       info->fix.id, var->xres_virtual, var->yres_virtual, var->xres, var->yres);
		return -EINVAL;
	}
	if ((var->activate & FB_ACTIVATE_MASK) != FB_ACTIVATE_NOW)
		return 0;
	struct fb_var_screeninfo old = info->var;
	info->var = *var;
	if (info->fbops->fb_set_par) {
		r = info->fbops->fb_set_par(info);
		if (r) {
			info->var = old;
			printk(KERN_WARNING "detected fb_set_par error, error code: %d\n", r);
			return r;
		}
	}
	fb_pan_display(info, &info->var);
	fb_set_cmap(&info->cmap, info);
	mode_set(info);
	return 0;
}

static u32 cfb_colour(struct fb_info *info, u32 index)
{
	if (info->fix.visual == FB_VISUAL_TRUECOLOR || info->fix.visual == FB_VISUAL_DIRECTCOLOR)
		return index < 16 && info->pseudo_palette ? ((u32 *)info->pseudo_palette)[index] : 0;
	return index;
}

static char __iomem *cfb_pixel(struct fb_info *info, u32 x, u32 y)
{
	if (!info->screen_base) {
		fault("cfb drawing with no screen memory");
		return nullptr;
	}
	if (info->var.bits_per_pixel != 32 || x >= info->var.xres_virtual || y >= info->var.yres_virtual)
		return nullptr;
	unsigned long off = (unsigned long)y * info->fix.line_length + x * 4ul;
	if (off + 4 > info->screen_size) {
		fault("cfb drawing outside the framebuffer");
		return nullptr;
	}
	return info->screen_base + off;
}

void cfb_fillrect(struct fb_info *info, const struct fb_fillrect *rect)
{
	u32 c = cfb_colour(info, rect->color);
	for (u32 y = 0; y < rect->height; y++)
		for (u32 x = 0; x < rect->width; x++) {
			char __iomem *p = cfb_pixel(info, rect->dx + x, rect->dy + y);
			if (p)
				writel(rect->rop == ROP_XOR ? readl(p) ^ c : c, p);
		}
}

void cfb_copyarea(struct fb_info *info, const struct fb_copyarea *area)
{
	std::vector<u32> tmp((size_t)area->width * area->height);
	for (u32 y = 0; y < area->height; y++)
		for (u32 x = 0; x < area->width; x++) {
			char __iomem *p = cfb_pixel(info, area->sx + x, area->sy + y);
			tmp[(size_t)y * area->width + x] = p ? readl(p) : 0;
		}
	for (u32 y = 0; y < area->height; y++)
		for (u32 x = 0; x < area->width; x++) {
			char __iomem *p = cfb_pixel(info, area->dx + x, area->dy + y);
			if (p)
				writel(tmp[(size_t)y * area->width + x], p);
		}
}

void cfb_imageblit(struct fb_info *info, const struct fb_image *image)
{
	if (image->depth != 1)
		return;
	u32 fg = cfb_colour(info, image->fg_color), bg = cfb_colour(info, image->bg_color);
	u32 pitch = (image->width + 7) / 8;
	for (u32 y = 0; y < image->height; y++)
		for (u32 x = 0; x < image->width; x++) {
			char __iomem *p = cfb_pixel(info, image->dx + x, image->dy + y);
			bool on = (u8)image->data[y * pitch + x / 8] & (0x80 >> (x % 8));
			if (p)
				writel(on ? fg : bg, p);
		}
}

int fb_blank(struct fb_info *info, int blank)
{
	if (blank > FB_BLANK_POWERDOWN)
		blank = FB_BLANK_POWERDOWN;
	if (!info->fbops->fb_blank)
		return -EINVAL;
	return info->fbops->fb_blank(blank, info);
}

} // extern "C"

namespace khost {

int fb_console_bind(int node)
{
	struct fb_info *info = node >= 0 && node < 32 ? registered_fb[node] : nullptr;
	if (!info)
		return -ENODEV;
	if (console_bound.count(info))
		return 0;
	if (!try_module_get(info->fbops->owner))
		return -ENODEV;
	lock_fb_info(info);
	int r = info->fbops->fb_open ? info->fbops->fb_open(info, 0) : 0;
	unlock_fb_info(info);
	if (r) {
		module_put(info->fbops->owner);
		return r;
	}
	console_bound.insert(info);
	console_view(info, true);
	return 0;
}

} // namespace khost
