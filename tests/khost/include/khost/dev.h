/*
 * Host kernel: modules and parameters, devices and drivers, the device tree,
 * interrupts, files and the device nodes a driver registers, debugfs and
 * seq_file. Registrations are recorded so tests reach the file operations.
 */
#ifndef KHOST_DEV_H
#define KHOST_DEV_H

#include "base.h"
#include "sched.h"
#include "mm.h"

/* "class" and "private" are C++ keywords: the test side names them apart. */
#ifdef __cplusplus
#define KHOST_CLASS khost_class
#define KHOST_PRIVATE private_
#else
#define KHOST_CLASS class
#define KHOST_PRIVATE private
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- modules ---- */
enum module_state { MODULE_STATE_LIVE, MODULE_STATE_COMING, MODULE_STATE_GOING, MODULE_STATE_UNFORMED };
struct module {
	const char *name;
	enum module_state state;
	int refcnt;
	int (*init)(void);
	void (*exit)(void);
	bool loaded;
	void *khost;
};
#ifndef KHOST_NO_THIS_MODULE
extern struct module __this_module;
#define THIS_MODULE (&__this_module)
#else
#define THIS_MODULE ((struct module *)0)
#endif
void khost_module_register(struct module *m);
void khost_module_set_init(struct module *m, int (*fn)(void));
void khost_module_set_exit(struct module *m, void (*fn)(void));
#define module_init(fn) \
	static void __attribute__((constructor)) __khost_modinit_##fn(void) \
	{ khost_module_set_init(THIS_MODULE, fn); }
#define module_exit(fn) \
	static void __attribute__((constructor)) __khost_modexit_##fn(void) \
	{ khost_module_set_exit(THIS_MODULE, fn); }
#define late_initcall(fn) module_init(fn)
#define MODULE_LICENSE(x)
#define MODULE_DESCRIPTION(x)
#define MODULE_AUTHOR(x)
#define MODULE_VERSION(x)
#define MODULE_ALIAS(x)
#define MODULE_SOFTDEP(x)
#define MODULE_DEVICE_TABLE(type, name)
#define MODULE_IMPORT_NS(ns)
#define EXPORT_SYMBOL(sym)
#define EXPORT_SYMBOL_GPL(sym)
#define EXPORT_SYMBOL_NS_GPL(sym, ns)
bool try_module_get(struct module *m);
void module_put(struct module *m);
void __module_get(struct module *m);
int module_refcount(struct module *m);
bool khost_within_module(unsigned long addr, const struct module *m);
#define within_module(addr, m) khost_within_module(addr, m)
struct notifier_block {
	int (*notifier_call)(struct notifier_block *, unsigned long, void *);
	struct notifier_block *next;
	int priority;
};
#define NOTIFY_DONE 0
#define NOTIFY_OK 1
#define NOTIFY_STOP_MASK 0x8000
#define NOTIFY_BAD (NOTIFY_STOP_MASK | 2)
int register_module_notifier(struct notifier_block *nb);
int unregister_module_notifier(struct notifier_block *nb);
/* Symbols looked up by name come from the table the test fills. */
void *__symbol_get(const char *name);
void __symbol_put(const char *name);
#define symbol_get(x) ((__typeof__(&x))__symbol_get(#x))
#define symbol_put(x) __symbol_put(#x)
unsigned long kallsyms_lookup_name(const char *name);

/* ---- module parameters ---- */
struct kernel_param;
void khost_param_register(const char *mod, const char *name, const char *type, void *ptr,
			  unsigned int max, unsigned int *num, size_t elem);
#define __khost_param(name, var, type, max, nump, elem) \
	static void __attribute__((constructor)) __khost_param_##name(void) \
	{ khost_param_register(KBUILD_MODNAME, #name, #type, &(var), max, nump, elem); }
#define module_param_named(name, var, type, perm) __khost_param(name, var, type, 0, NULL, sizeof(var))
#define module_param(var, type, perm) module_param_named(var, var, type, perm)
#define module_param_array_named(name, var, type, nump, perm) \
	__khost_param(name, var, type, ARRAY_SIZE(var), (unsigned int *)(nump), sizeof((var)[0]))
#define module_param_array(var, type, nump, perm) module_param_array_named(var, var, type, nump, perm)
#define MODULE_PARM_DESC(name, desc)

/* ---- resources ---- */
struct resource {
	resource_size_t start;
	resource_size_t end;
	const char *name;
	unsigned long flags;
};
#define IORESOURCE_MEM 0x200
#define IORESOURCE_IRQ 0x400
static inline resource_size_t resource_size(const struct resource *r) { return r->end - r->start + 1; }
#define DEFINE_RES_MEM(s, sz) { .start = (s), .end = (s) + (sz) - 1, .flags = IORESOURCE_MEM }
#define DEFINE_RES_IRQ(i) { .start = (i), .end = (i), .flags = IORESOURCE_IRQ }
struct resource *request_mem_region(resource_size_t start, resource_size_t n, const char *name);
void release_mem_region(resource_size_t start, resource_size_t n);

/* ---- device tree ---- */
struct property {
	char *name;
	int length;
	void *value;
	struct property *next;
};
struct device_node {
	const char *name;
	const char *full_name;
	struct property *properties;
	struct device_node *parent;
	struct device_node *child;
	struct device_node *sibling;
	int refcount;
};
struct of_device_id {
	char name[32];
	char type[32];
	char compatible[128];
	const void *data;
};
struct device_node *of_find_node_by_name(struct device_node *from, const char *name);
struct device_node *of_find_node_by_path(const char *path);
struct device_node *of_find_compatible_node(struct device_node *from, const char *type,
					    const char *compat);
struct device_node *of_get_next_child(const struct device_node *node, struct device_node *prev);
struct device_node *of_get_child_by_name(const struct device_node *node, const char *name);
struct device_node *of_get_parent(const struct device_node *node);
#define for_each_child_of_node(parent, child) \
	for (child = of_get_next_child(parent, NULL); child != NULL; \
	     child = of_get_next_child(parent, child))
struct device_node *of_node_get(struct device_node *n);
void of_node_put(struct device_node *n);
const void *of_get_property(const struct device_node *n, const char *name, int *lenp);
struct property *of_find_property(const struct device_node *n, const char *name, int *lenp);
bool of_property_read_bool(const struct device_node *n, const char *name);
int of_property_read_u32_index(const struct device_node *n, const char *name, u32 index, u32 *out);
int of_property_read_u32_array(const struct device_node *n, const char *name, u32 *out, size_t sz);
int of_property_read_u64(const struct device_node *n, const char *name, u64 *out);
int of_property_read_string(const struct device_node *n, const char *name, const char **out);
int of_property_count_elems_of_size(const struct device_node *n, const char *name, int elem_size);
static inline int of_property_read_u32(const struct device_node *n, const char *name, u32 *out)
{ return of_property_read_u32_array(n, name, out, 1); }
static inline int of_property_count_u32_elems(const struct device_node *n, const char *name)
{ return of_property_count_elems_of_size(n, name, 4); }
int of_device_is_compatible(const struct device_node *n, const char *compat);
int of_address_to_resource(struct device_node *n, int index, struct resource *r);

/* ---- reserved memory ---- */
struct device;
struct reserved_mem_ops;
struct reserved_mem {
	const char *name;
	unsigned long fdt_node;
	unsigned long phandle;
	const struct reserved_mem_ops *ops;
	phys_addr_t base;
	phys_addr_t size;
	void *priv;
};
struct reserved_mem_ops {
	int (*device_init)(struct reserved_mem *rmem, struct device *dev);
	void (*device_release)(struct reserved_mem *rmem, struct device *dev);
};
/*
 * The region of a /reserved-memory child. A "reusable" "shared-dma-pool" is
 * a contiguous-memory pool: once its device_init has run for a device, that
 * device's coherent allocations come from the pool's pages.
 */
struct reserved_mem *of_reserved_mem_lookup(struct device_node *np);

void __iomem *of_iomap(struct device_node *n, int index);
unsigned int irq_of_parse_and_map(struct device_node *n, int index);
static inline const char *of_node_full_name(const struct device_node *n) { return n ? n->full_name : "<no-node>"; }
static inline bool of_node_name_eq(const struct device_node *n, const char *name)
{ return n && !strcmp(n->name, name); }

/* ---- devices ---- */
struct device;
struct device_driver;
struct dev_pm_ops {
	int (*prepare)(struct device *);
	void (*complete)(struct device *);
	int (*suspend)(struct device *);
	int (*resume)(struct device *);
	int (*freeze)(struct device *);
	int (*thaw)(struct device *);
	int (*poweroff)(struct device *);
	int (*restore)(struct device *);
	int (*suspend_noirq)(struct device *);
	int (*resume_noirq)(struct device *);
	int (*runtime_suspend)(struct device *);
	int (*runtime_resume)(struct device *);
};
#define SET_SYSTEM_SLEEP_PM_OPS(s, r) .suspend = (s), .resume = (r), .freeze = (s), .thaw = (r), \
	.poweroff = (s), .restore = (r),
#define SIMPLE_DEV_PM_OPS(name, s, r) const struct dev_pm_ops name = { SET_SYSTEM_SLEEP_PM_OPS(s, r) }
typedef struct pm_message { int event; } pm_message_t;
struct KHOST_CLASS;
struct attribute_group;
struct device {
	struct device *parent;
	const char *init_name;
	char khost_name[64];
	void *driver_data;
	void *platform_data;
	struct device_node *of_node;
	struct device_driver *driver;
	struct KHOST_CLASS *KHOST_CLASS;
	khost_dev_t devt;
	u64 *dma_mask;
	u64 coherent_dma_mask;
	u64 khost_dma_mask;
	void (*release)(struct device *);
	const struct attribute_group **groups;
	void *khost;
};
struct device_driver {
	const char *name;
	struct module *owner;
	const struct of_device_id *of_match_table;
	const struct dev_pm_ops *pm;
	bool suppress_bind_attrs;
};
static inline void *dev_get_drvdata(const struct device *d) { return d->driver_data; }
static inline void dev_set_drvdata(struct device *d, void *data) { d->driver_data = data; }
const char *dev_name(const struct device *d);
int dev_set_name(struct device *d, const char *fmt, ...) __printf(2, 3);
struct device *get_device(struct device *d);
void put_device(struct device *d);
#define dev_printk(level, dev, fmt, ...) printk(level "%s: " fmt, dev_name(dev), ##__VA_ARGS__)
#define dev_err(dev, fmt, ...) dev_printk(KERN_ERR, dev, fmt, ##__VA_ARGS__)
#define dev_warn(dev, fmt, ...) dev_printk(KERN_WARNING, dev, fmt, ##__VA_ARGS__)
#define dev_info(dev, fmt, ...) dev_printk(KERN_INFO, dev, fmt, ##__VA_ARGS__)
#define dev_notice(dev, fmt, ...) dev_printk(KERN_NOTICE, dev, fmt, ##__VA_ARGS__)
#define dev_dbg(dev, fmt, ...) dev_printk(KERN_DEBUG, dev, fmt, ##__VA_ARGS__)
void *devm_kzalloc(struct device *d, size_t size, gfp_t gfp);
void *devm_kmalloc(struct device *d, size_t size, gfp_t gfp);
void devm_kfree(struct device *d, const void *p);
void __iomem *devm_ioremap(struct device *d, resource_size_t off, resource_size_t size);
void __iomem *devm_ioremap_resource(struct device *d, const struct resource *r);
#define DMA_BIT_MASK(n) (((n) == 64) ? ~0ULL : ((1ULL << (n)) - 1))
int dma_set_mask(struct device *d, u64 mask);
int dma_set_coherent_mask(struct device *d, u64 mask);
int dma_set_mask_and_coherent(struct device *d, u64 mask);
int dma_coerce_mask_and_coherent(struct device *d, u64 mask);

/* ---- platform bus ---- */
struct platform_device {
	const char *name;
	int id;
	struct device dev;
	u32 num_resources;
	struct resource *resource;
	void *khost;
};
struct platform_driver {
	int (*probe)(struct platform_device *);
	int (*remove)(struct platform_device *);
	void (*shutdown)(struct platform_device *);
	int (*suspend)(struct platform_device *, pm_message_t);
	int (*resume)(struct platform_device *);
	struct device_driver driver;
};
#define to_platform_device(d) container_of(d, struct platform_device, dev)
#define PLATFORM_DEVID_NONE (-1)
#define PLATFORM_DEVID_AUTO (-2)
int platform_driver_register(struct platform_driver *drv);
#define __platform_driver_register(drv, owner) platform_driver_register(drv)
void platform_driver_unregister(struct platform_driver *drv);
#define module_platform_driver(drv) \
	static int __init drv##_khost_init(void) { return platform_driver_register(&(drv)); } \
	static void __exit drv##_khost_exit(void) { platform_driver_unregister(&(drv)); } \
	module_init(drv##_khost_init); module_exit(drv##_khost_exit)
int platform_device_register(struct platform_device *pdev);
void platform_device_unregister(struct platform_device *pdev);
struct platform_device *platform_device_register_simple(const char *name, int id,
							 const struct resource *res, unsigned int num);
struct platform_device *platform_device_alloc(const char *name, int id);
int platform_device_add(struct platform_device *pdev);
void platform_device_put(struct platform_device *pdev);
void platform_device_del(struct platform_device *pdev);
static inline void *platform_get_drvdata(const struct platform_device *p) { return dev_get_drvdata(&p->dev); }
static inline void platform_set_drvdata(struct platform_device *p, void *d) { dev_set_drvdata(&p->dev, d); }
struct resource *platform_get_resource(struct platform_device *p, unsigned int type, unsigned int n);
int platform_get_irq(struct platform_device *p, unsigned int n);
void __iomem *devm_platform_ioremap_resource(struct platform_device *p, unsigned int index);
const void *of_device_get_match_data(const struct device *d);

/* ---- interrupts ---- */
typedef enum irqreturn { IRQ_NONE = 0, IRQ_HANDLED = 1, IRQ_WAKE_THREAD = 2 } irqreturn_t;
typedef irqreturn_t (*irq_handler_t)(int, void *);
#define IRQF_SHARED 0x80
#define IRQF_TRIGGER_NONE 0
#define IRQF_TRIGGER_RISING 0x1
#define IRQF_TRIGGER_HIGH 0x4
#define IRQF_ONESHOT 0x2000
#define IRQF_NO_SUSPEND 0x4000
int request_irq(unsigned int irq, irq_handler_t handler, unsigned long flags, const char *name,
		void *dev);
int request_threaded_irq(unsigned int irq, irq_handler_t handler, irq_handler_t thread_fn,
			 unsigned long flags, const char *name, void *dev);
const void *free_irq(unsigned int irq, void *dev);
int devm_request_irq(struct device *d, unsigned int irq, irq_handler_t handler,
		     unsigned long flags, const char *name, void *dev);
int devm_request_threaded_irq(struct device *d, unsigned int irq, irq_handler_t handler,
			      irq_handler_t thread_fn, unsigned long flags, const char *name,
			      void *dev);
void devm_free_irq(struct device *d, unsigned int irq, void *dev);
void enable_irq(unsigned int irq);
void disable_irq(unsigned int irq);
void disable_irq_nosync(unsigned int irq);
void synchronize_irq(unsigned int irq);
struct cpumask;
int irq_set_affinity_hint(unsigned int irq, const struct cpumask *m);
#define cpumask_of(cpu) ((const struct cpumask *)NULL)

/* ---- files ---- */
struct inode {
	khost_dev_t i_rdev;
	void *i_private;
	struct cdev *i_cdev;
};
struct file_operations;
struct file {
	const struct file_operations *f_op;
	void *private_data;
	unsigned int f_flags;
	fmode_t f_mode;
	loff_t f_pos;
	struct inode *f_inode;
	const struct cred *f_cred;
	refcount_t khost_refs;
	void *khost;
};
struct poll_table_struct;
typedef struct poll_table_struct poll_table;
typedef unsigned int __poll_t;
struct file_operations {
	struct module *owner;
	loff_t (*llseek)(struct file *, loff_t, int);
	ssize_t (*read)(struct file *, char __user *, size_t, loff_t *);
	ssize_t (*write)(struct file *, const char __user *, size_t, loff_t *);
	__poll_t (*poll)(struct file *, poll_table *);
	long (*unlocked_ioctl)(struct file *, unsigned int, unsigned long);
	long (*compat_ioctl)(struct file *, unsigned int, unsigned long);
	int (*mmap)(struct file *, struct vm_area_struct *);
	int (*open)(struct inode *, struct file *);
	int (*flush)(struct file *, void *);
	int (*release)(struct inode *, struct file *);
	int (*fsync)(struct file *, loff_t, loff_t, int);
};
static inline struct inode *file_inode(const struct file *f) { return f->f_inode; }
#define O_RDONLY 00
#define O_WRONLY 01
#define O_RDWR 02
#define O_ACCMODE 03
#define O_CREAT 0100
#define O_TRUNC 01000
#define O_APPEND 02000
#define O_NONBLOCK 04000
#define O_CLOEXEC 02000000
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0400000
#endif
#define O_LARGEFILE 0
#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2
#define FMODE_READ 0x1
#define FMODE_WRITE 0x2
loff_t noop_llseek(struct file *f, loff_t off, int whence);
loff_t no_llseek(struct file *f, loff_t off, int whence);
loff_t default_llseek(struct file *f, loff_t off, int whence);
int nonseekable_open(struct inode *i, struct file *f);
ssize_t simple_read_from_buffer(void __user *to, size_t count, loff_t *ppos, const void *from,
				size_t available);
ssize_t simple_write_to_buffer(void *to, size_t available, loff_t *ppos,
			       const void __user *from, size_t count);
int simple_open(struct inode *i, struct file *f);

/* ---- character devices, classes, misc devices ---- */
#define MINORBITS 20
#define MINORMASK ((1U << MINORBITS) - 1)
#define MAJOR(dev) ((unsigned int)((dev) >> MINORBITS))
#define MINOR(dev) ((unsigned int)((dev) & MINORMASK))
#define MKDEV(ma, mi) (((ma) << MINORBITS) | (mi))
struct cdev {
	const struct file_operations *ops;
	struct module *owner;
	khost_dev_t dev;
	unsigned int count;
	void *khost;
};
int alloc_chrdev_region(khost_dev_t *dev, unsigned int first, unsigned int count, const char *name);
int register_chrdev_region(khost_dev_t from, unsigned int count, const char *name);
void unregister_chrdev_region(khost_dev_t from, unsigned int count);
int __register_chrdev(unsigned int major, unsigned int first, unsigned int count,
		      const char *name, const struct file_operations *fops);
static inline int register_chrdev(unsigned int major, const char *name, const struct file_operations *fops)
{ return __register_chrdev(major, 0, 256, name, fops); }
void unregister_chrdev(unsigned int major, const char *name);
void cdev_init(struct cdev *c, const struct file_operations *fops);
int cdev_add(struct cdev *c, khost_dev_t dev, unsigned int count);
void cdev_del(struct cdev *c);
struct KHOST_CLASS {
	const char *name;
	struct module *owner;
	char *(*devnode)(struct device *dev, umode_t *mode);
	void *khost;
};
struct KHOST_CLASS *khost_class_create(struct module *owner, const char *name);
#define class_create(owner, name) khost_class_create(owner, name)
void class_destroy(struct KHOST_CLASS *c);
struct device *device_create(struct KHOST_CLASS *c, struct device *parent, khost_dev_t devt, void *drvdata,
			     const char *fmt, ...) __printf(5, 6);
void device_destroy(struct KHOST_CLASS *c, khost_dev_t devt);
#define MISC_DYNAMIC_MINOR 255
struct miscdevice {
	int minor;
	const char *name;
	const struct file_operations *fops;
	struct device *parent;
	struct device *this_device;
	const char *nodename;
	umode_t mode;
	void *khost;
};
int misc_register(struct miscdevice *m);
void misc_deregister(struct miscdevice *m);

/* ---- debugfs and seq_file ---- */
struct dentry {
	const char *khost_path;
	void *khost;
};
struct dentry *debugfs_create_dir(const char *name, struct dentry *parent);
struct dentry *debugfs_create_file(const char *name, umode_t mode, struct dentry *parent,
				   void *data, const struct file_operations *fops);
void debugfs_create_u32(const char *name, umode_t mode, struct dentry *parent, u32 *value);
void debugfs_create_x32(const char *name, umode_t mode, struct dentry *parent, u32 *value);
void debugfs_remove(struct dentry *d);
void debugfs_remove_recursive(struct dentry *d);
struct seq_file {
	char *buf;
	size_t size;
	size_t count;
	void *KHOST_PRIVATE;
	const void *op;
	loff_t index;
	void *khost;
};
void seq_printf(struct seq_file *s, const char *fmt, ...) __printf(2, 3);
void seq_puts(struct seq_file *s, const char *str);
void seq_putc(struct seq_file *s, char c);
int seq_write(struct seq_file *s, const void *data, size_t len);
int single_open(struct file *f, int (*show)(struct seq_file *, void *), void *data);
int single_release(struct inode *i, struct file *f);
ssize_t seq_read(struct file *f, char __user *buf, size_t size, loff_t *ppos);
loff_t seq_lseek(struct file *f, loff_t off, int whence);
#define DEFINE_SHOW_ATTRIBUTE(__name) \
	static int __name##_open(struct inode *inode, struct file *file) \
	{ return single_open(file, __name##_show, inode->i_private); } \
	static const struct file_operations __name##_fops = { \
		.owner = THIS_MODULE, .open = __name##_open, .read = seq_read, \
		.llseek = seq_lseek, .release = single_release, }

#ifdef __cplusplus
}
#endif
#endif
