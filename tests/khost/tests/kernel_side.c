// Kernel-side helpers for the bed's own tests: kernel code, built as the
// drivers are, exercising the rules drivers rely on.
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/completion.h>
#include <linux/semaphore.h>
#include <linux/spinlock.h>
#include <linux/mutex.h>
#include <linux/wait.h>
#include <linux/kthread.h>
#include <linux/timer.h>
#include <linux/uaccess.h>
#include <linux/capability.h>
#include <linux/io.h>
#include <linux/slab.h>
#include <linux/capability.h>
#include <linux/miscdevice.h>
#include <linux/fs.h>
#include <linux/mm.h>

struct completion ks_done;
struct semaphore ks_sem;
DEFINE_SPINLOCK(ks_lock);
DEFINE_MUTEX(ks_mutex);
DECLARE_WAIT_QUEUE_HEAD(ks_wq);
int ks_flag;

void ks_init(void)
{
	init_completion(&ks_done);
	sema_init(&ks_sem, 2);
}

unsigned long ks_wait_done(unsigned long timeout)
{
	return wait_for_completion_timeout(&ks_done, timeout);
}

void ks_complete(void)
{
	complete(&ks_done);
}

int ks_down(void)
{
	return down_interruptible(&ks_sem);
}

int ks_down_trylock(void)
{
	return down_trylock(&ks_sem);
}

void ks_up(void)
{
	up(&ks_sem);
}

void ks_sleep_under_spinlock(void)
{
	unsigned long flags;

	spin_lock_irqsave(&ks_lock, flags);
	mutex_lock(&ks_mutex);
	mutex_unlock(&ks_mutex);
	spin_unlock_irqrestore(&ks_lock, flags);
}

void ks_lock_plain(void)
{
	spin_lock(&ks_lock);
	ks_flag++;
	spin_unlock(&ks_lock);
}

long ks_wait_flag(long timeout)
{
	return wait_event_interruptible_timeout(ks_wq, READ_ONCE(ks_flag) != 0, timeout);
}

void ks_set_flag(void)
{
	WRITE_ONCE(ks_flag, 1);
	wake_up_interruptible(&ks_wq);
}

unsigned long ks_copy_in(void *dst, const void __user *src, unsigned long n)
{
	return copy_from_user(dst, src, n);
}

static int ks_thread_fn(void *data)
{
	while (!kthread_should_stop())
		wait_event_interruptible(ks_wq, kthread_should_stop());
	return 42;
}

int ks_run_and_stop_thread(void)
{
	struct task_struct *t = kthread_run(ks_thread_fn, NULL, "ks-%d", 1);

	if (IS_ERR(t))
		return PTR_ERR(t);
	return kthread_stop(t);
}

static struct timer_list ks_timer;
int ks_timer_ctx = -1;

static void ks_timer_fn(struct timer_list *t)
{
	ks_timer_ctx = in_interrupt() ? 1 : 0;
	msleep(1);	/* not allowed here */
	complete(&ks_done);
}

void ks_arm_timer(unsigned long delay)
{
	timer_setup(&ks_timer, ks_timer_fn, 0);
	mod_timer(&ks_timer, jiffies + delay);
}

void ks_disarm_timer(void)
{
	del_timer_sync(&ks_timer);
}

void __iomem *ks_map(phys_addr_t addr, size_t size)
{
	return ioremap(addr, size);
}

void ks_unmap(void __iomem *p)
{
	iounmap(p);
}

void ks_write(void __iomem *base, u32 off, u32 val)
{
	writel(val, base + off);
}

u32 ks_read(void __iomem *base, u32 off)
{
	return readl(base + off);
}

void *ks_leak(void)
{
	return kmalloc(24, GFP_KERNEL);
}

void ks_free(void *p)
{
	kfree(p);
}

/* A misc device whose ioctl copies a u32 in and out and whose mmap maps a page. */
static struct page *ks_page;

static long ks_ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	u32 v;

	if (copy_from_user(&v, (void __user *)arg, sizeof(v)))
		return -EFAULT;
	v += cmd;
	if (copy_to_user((void __user *)arg, &v, sizeof(v)))
		return -EFAULT;
	return 0;
}

int ks_vma_closes;

static void ks_vma_close(struct vm_area_struct *vma)
{
	ks_vma_closes++;
}

static const struct vm_operations_struct ks_vm_ops = {
	.close = ks_vma_close,
};

static int ks_mmap(struct file *f, struct vm_area_struct *vma)
{
	if (vma->vm_end - vma->vm_start > PAGE_SIZE)
		return -EINVAL;
	vma->vm_ops = &ks_vm_ops;
	return remap_pfn_range(vma, vma->vm_start, page_to_pfn(ks_page), PAGE_SIZE, vma->vm_page_prot);
}

/* What the capability checks see for a file: its opener's set. */
int ks_file_capable(struct file *f, int cap)
{
	return file_ns_capable(f, &init_user_ns, cap);
}

int ks_capable(int cap)
{
	return capable(cap);
}

static const struct file_operations ks_fops = {
	.owner = THIS_MODULE,
	.unlocked_ioctl = ks_ioctl,
	.compat_ioctl = ks_ioctl,
	.mmap = ks_mmap,
};

static struct miscdevice ks_misc = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "ksdev",
	.fops = &ks_fops,
};

int ks_misc_register(void)
{
	ks_page = alloc_page(GFP_KERNEL);
	if (!ks_page)
		return -ENOMEM;
	*(u32 *)page_address(ks_page) = 0xfeedf00d;
	return misc_register(&ks_misc);
}

void ks_misc_deregister(void)
{
	misc_deregister(&ks_misc);
	__free_page(ks_page);
}

phys_addr_t ks_page_phys(void)
{
	return page_to_phys(ks_page);
}

/* A framebuffer driver with the operations the framebuffer core calls. */
#include <linux/fb.h>

static struct fb_info *ks_fb;
static struct page *ks_fb_pages;
int ks_fb_set_par_calls, ks_fb_pans;

static int ks_check_var(struct fb_var_screeninfo *var, struct fb_info *info)
{
	if (var->bits_per_pixel != 32)
		return -EINVAL;
	return 0;	/* leaves the virtual size as given */
}

static int ks_set_par(struct fb_info *info)
{
	ks_fb_set_par_calls++;
	return 0;
}

static int ks_pan(struct fb_var_screeninfo *var, struct fb_info *info)
{
	ks_fb_pans++;
	return 0;
}

static int ks_fb_ioctl(struct fb_info *info, unsigned int cmd, unsigned long arg)
{
	return cmd == 0xc801 ? 7 : -ENOTTY;
}

static const struct fb_ops ks_fb_ops = {
	.owner = THIS_MODULE,
	.fb_check_var = ks_check_var,
	.fb_set_par = ks_set_par,
	.fb_pan_display = ks_pan,
	.fb_ioctl = ks_fb_ioctl,
};

int ks_fb_register(void)
{
	ks_fb = framebuffer_alloc(16, NULL);
	ks_fb_pages = alloc_pages(GFP_KERNEL, 2);
	if (!ks_fb || !ks_fb_pages)
		return -ENOMEM;
	ks_fb->fbops = &ks_fb_ops;
	strscpy(ks_fb->fix.id, "ks_fb", sizeof(ks_fb->fix.id));
	ks_fb->fix.smem_start = page_to_phys(ks_fb_pages);
	ks_fb->fix.smem_len = 4 * PAGE_SIZE;
	ks_fb->fix.ypanstep = 1;
	ks_fb->var.xres = 16;
	ks_fb->var.yres = 16;
	ks_fb->var.xres_virtual = 16;
	ks_fb->var.yres_virtual = 32;
	ks_fb->var.bits_per_pixel = 32;
	return register_framebuffer(ks_fb);
}

void ks_fb_unregister(void)
{
	unregister_framebuffer(ks_fb);
	__free_pages(ks_fb_pages, 2);
	framebuffer_release(ks_fb);
}

/* A dma-buf exporter over two pages, and a fence signalled from an interrupt. */
#include <linux/dma-buf.h>
#include <linux/dma-fence.h>
#include <linux/sync_file.h>

static struct page *ks_buf_pages;
int ks_buf_released;

static struct sg_table *ks_map_dma_buf(struct dma_buf_attachment *a, enum dma_data_direction dir)
{
	struct sg_table *t = kzalloc(sizeof(*t), GFP_KERNEL);

	if (!t || sg_alloc_table(t, 1, GFP_KERNEL)) {
		kfree(t);
		return ERR_PTR(-ENOMEM);
	}
	sg_set_page(t->sgl, ks_buf_pages, 2 * PAGE_SIZE, 0);
	dma_map_sgtable(a->dev, t, dir, 0);
	return t;
}

static void ks_unmap_dma_buf(struct dma_buf_attachment *a, struct sg_table *t, enum dma_data_direction dir)
{
	sg_free_table(t);
	kfree(t);
}

static void ks_release(struct dma_buf *d)
{
	ks_buf_released++;
	__free_pages(ks_buf_pages, 1);
}

static int ks_buf_mmap(struct dma_buf *d, struct vm_area_struct *vma)
{
	return remap_pfn_range(vma, vma->vm_start, page_to_pfn(ks_buf_pages) + vma->vm_pgoff,
			       vma->vm_end - vma->vm_start, vma->vm_page_prot);
}

static const struct dma_buf_ops ks_buf_ops = {
	.map_dma_buf = ks_map_dma_buf,
	.unmap_dma_buf = ks_unmap_dma_buf,
	.release = ks_release,
	.mmap = ks_buf_mmap,
};

int ks_export(void)
{
	DEFINE_DMA_BUF_EXPORT_INFO(info);
	struct dma_buf *d;

	ks_buf_pages = alloc_pages(GFP_KERNEL, 1);
	info.ops = &ks_buf_ops;
	info.size = 2 * PAGE_SIZE;
	info.flags = O_RDWR;
	d = dma_buf_export(&info);
	if (IS_ERR(d))
		return PTR_ERR(d);
	return dma_buf_fd(d, O_CLOEXEC);
}

/* Imports a descriptor as a device would; returns the first DMA address. */
u64 ks_import(int fd, struct device *dev)
{
	struct dma_buf *d = dma_buf_get(fd);
	struct dma_buf_attachment *a;
	struct sg_table *t;
	u64 addr = 0;

	if (IS_ERR(d))
		return 0;
	a = dma_buf_attach(d, dev);
	if (!IS_ERR(a)) {
		t = dma_buf_map_attachment_unlocked(a, DMA_BIDIRECTIONAL);
		if (!IS_ERR(t)) {
			addr = sg_dma_address(t->sgl);
			dma_buf_unmap_attachment_unlocked(a, t, DMA_BIDIRECTIONAL);
		}
		dma_buf_detach(d, a);
	}
	dma_buf_put(d);
	return addr;
}

static DEFINE_SPINLOCK(ks_fence_lock);
static const char *ks_fence_name(struct dma_fence *f) { return "ks"; }
static const struct dma_fence_ops ks_fence_ops = {
	.get_driver_name = ks_fence_name,
	.get_timeline_name = ks_fence_name,
};
struct dma_fence *ks_fence;

int ks_out_fence(void)
{
	struct sync_file *s;
	int fd;

	ks_fence = kzalloc(sizeof(*ks_fence), GFP_KERNEL);
	dma_fence_init(ks_fence, &ks_fence_ops, &ks_fence_lock, dma_fence_context_alloc(1), 1);
	s = sync_file_create(ks_fence);
	fd = get_unused_fd_flags(O_CLOEXEC);
	fd_install(fd, s->file);
	return fd;
}

void ks_signal_fence(void)
{
	dma_fence_signal(ks_fence);
	dma_fence_put(ks_fence);
}
