// Host kernel: modules, parameters, symbols, device tree, platform bus,
// interrupts, device nodes, debugfs and seq_file, system sleep.
#include "internal.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <list>
#include <set>
#include <thread>

extern "C" {
#include "khost/dev.h"
}

using namespace khost::detail;

namespace {

/* Mappings whose driver attached operations, by the address handed out. */
std::mutex vma_lock;
std::map<void *, struct vm_area_struct *> vmas;

struct ModExtra {
	std::vector<std::pair<const char *, size_t>> claims;
};

struct Param {
	std::string type;
	void *ptr;
	unsigned max;
	unsigned *num;
	size_t elem;
};

struct Node {	// a device node user space can open
	std::string name;
	const struct file_operations *fops;
	khost_dev_t devt;
	void *private_data;	// debugfs data, misc device
	bool misc;
	struct miscdevice *miscdev;
	struct device *classdev = nullptr;	// made by device_create, freed by device_destroy
};

struct IrqAction {
	unsigned irq;
	irq_handler_t handler;
	irq_handler_t thread_fn;
	void *dev;
	std::string name;
	bool enabled = true;
};

struct World {
	std::recursive_mutex lock;
	std::map<std::string, struct module *> modules;
	std::map<std::string, std::map<std::string, Param>> params;
	std::vector<std::string> param_strings_owned;
	std::vector<struct notifier_block *> module_notifiers;
	std::map<std::string, void *> symbols;
	std::set<std::string> plain_exports;	// EXPORT_SYMBOL, not _GPL
	std::map<std::string, int> symbol_refs;
	struct device_node *dt_root = nullptr;
	std::list<struct platform_device *> pdevs;
	std::list<struct platform_driver *> pdrvs;
	std::map<struct platform_device *, struct platform_driver *> bound;
	std::list<IrqAction> irqs;
	std::map<std::string, Node> nodes;	// node name or debugfs path
	std::map<khost_dev_t, std::pair<const struct file_operations *, std::string>> chrdev_ranges;
	std::map<struct cdev *, std::pair<khost_dev_t, unsigned>> cdevs;
	unsigned next_major = 240;
	std::map<struct dentry *, std::string> dentries;
};
World &world()
{
	static World *w = new World();
	return *w;
}

// The interrupt thread: runs handlers one at a time in interrupt context.
struct IrqThread {
	std::mutex lock;
	std::condition_variable cv;
	std::function<void()> job;
	bool busy = false;
	bool done = false;
	std::thread thread;
	bool started = false;
};
IrqThread &irq_thread()
{
	static IrqThread *t = new IrqThread();
	return *t;
}

void irq_loop()
{
	ctx().hardirq = 1;
	IrqThread &it = irq_thread();
	std::unique_lock<std::mutex> lk(it.lock);
	for (;;) {
		it.cv.wait(lk, [&] { return it.busy && !it.done; });
		auto job = it.job;
		lk.unlock();
		job();
		lk.lock();
		it.done = true;
		it.cv.notify_all();
	}
}

int call_module_notifiers(unsigned long state, struct module *m)
{
	std::vector<struct notifier_block *> nbs;
	{
		std::lock_guard<std::recursive_mutex> g(world().lock);
		nbs = world().module_notifiers;
	}
	for (auto *nb : nbs)
		nb->notifier_call(nb, state, m);
	return 0;
}

bool of_match(const struct of_device_id *ids, const struct device_node *n, const struct of_device_id **hit)
{
	if (!ids || !n)
		return false;
	for (; ids->compatible[0] || ids->name[0]; ids++)
		if (ids->compatible[0] && of_device_is_compatible(n, ids->compatible)) {
			if (hit)
				*hit = ids;
			return true;
		}
	return false;
}

bool drv_matches(struct platform_driver *drv, struct platform_device *pdev)
{
	if (drv->driver.of_match_table && pdev->dev.of_node)
		return of_match(drv->driver.of_match_table, pdev->dev.of_node, nullptr);
	return drv->driver.name && pdev->name && !strcmp(drv->driver.name, pdev->name);
}

void try_bind(struct platform_driver *drv, struct platform_device *pdev)
{
	World &w = world();
	if (w.bound.count(pdev) || !drv_matches(drv, pdev))
		return;
	pdev->dev.driver = &drv->driver;
	int ret = drv->probe ? drv->probe(pdev) : 0;
	if (ret) {
		pdev->dev.driver = nullptr;
		return;
	}
	w.bound[pdev] = drv;
}

void unbind(struct platform_device *pdev)
{
	World &w = world();
	auto it = w.bound.find(pdev);
	if (it == w.bound.end())
		return;
	struct platform_driver *drv = it->second;
	w.bound.erase(it);
	if (drv->remove)
		drv->remove(pdev);
	pdev->dev.driver = nullptr;
}

struct property *find_prop(const struct device_node *n, const char *name)
{
	if (!n)
		return nullptr;
	for (struct property *p = n->properties; p; p = p->next)
		if (!strcmp(p->name, name))
			return p;
	return nullptr;
}

struct device_node *dt_next(struct device_node *n)
{
	if (!n)
		return world().dt_root;
	if (n->child)
		return n->child;
	while (n) {
		if (n->sibling)
			return n->sibling;
		n = n->parent;
	}
	return nullptr;
}

void add_prop(struct device_node *n, const char *name, const void *data, int len)
{
	auto *p = new property();
	p->name = strdup(name);
	p->length = len;
	p->value = malloc(len ? len : 1);
	if (len)	/* a flag property has no value, and maybe no pointer to one */
		memcpy(p->value, data, len);
	p->next = n->properties;
	n->properties = p;
}

} // namespace

extern "C" const struct file_operations *khost_fops_for(khost_dev_t devt);
#define fops_for khost_fops_for

namespace khost {

struct module *module(const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	auto it = world().modules.find(name);
	return it == world().modules.end() ? nullptr : it->second;
}

int load_module(const char *name)
{
	struct module *m = module(name);
	if (!m) {
		fault(std::string("load_module: no module ") + name);
		return -ENOENT;
	}
	if (m->loaded)
		return -EEXIST;
	m->state = MODULE_STATE_COMING;
	call_module_notifiers(MODULE_STATE_COMING, m);
	int ret = m->init ? m->init() : 0;
	if (ret) {
		m->state = MODULE_STATE_GOING;
		call_module_notifiers(MODULE_STATE_GOING, m);
		m->state = MODULE_STATE_UNFORMED;
		return ret;
	}
	m->state = MODULE_STATE_LIVE;
	m->loaded = true;
	call_module_notifiers(MODULE_STATE_LIVE, m);
	return 0;
}

int unload_module(const char *name, bool force)
{
	struct module *m = module(name);
	if (!m || !m->loaded)
		return -ENOENT;
	if (!force && __atomic_load_n(&m->refcnt, __ATOMIC_SEQ_CST))
		return -EAGAIN;
	m->state = MODULE_STATE_GOING;
	if (m->exit)
		m->exit();
	call_module_notifiers(MODULE_STATE_GOING, m);
	m->loaded = false;
	m->state = MODULE_STATE_UNFORMED;
	return 0;
}

static int parse_scalar(const std::string &type, const std::string &v, void *ptr, World &w)
{
	if (type == "charp") {
		w.param_strings_owned.push_back(v);
		char *copy = strdup(v.c_str());
		*(char **)ptr = copy;
		return 0;
	}
	if (type == "bool") {
		bool b;
		if (kstrtobool(v.c_str(), &b))
			return -EINVAL;
		*(bool *)ptr = b;
		return 0;
	}
	if (type == "int") return kstrtoint(v.c_str(), 0, (int *)ptr);
	if (type == "uint") return kstrtouint(v.c_str(), 0, (unsigned *)ptr);
	if (type == "long") return kstrtol(v.c_str(), 0, (long *)ptr);
	if (type == "ulong") return kstrtoul(v.c_str(), 0, (unsigned long *)ptr);
	if (type == "ullong") return kstrtou64(v.c_str(), 0, (u64 *)ptr);
	if (type == "ushort") return kstrtou16(v.c_str(), 0, (u16 *)ptr);
	if (type == "byte") return kstrtou8(v.c_str(), 0, (u8 *)ptr);
	return -EINVAL;
}

int set_param(const char *mod, const char *param, const char *value)
{
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	auto mi = w.params.find(mod);
	if (mi == w.params.end() || !mi->second.count(param))
		return -ENOENT;
	Param &p = mi->second[param];
	if (!p.max)
		return parse_scalar(p.type, value, p.ptr, w);
	std::string all = value;
	unsigned n = 0;
	size_t pos = 0;
	while (true) {
		size_t comma = all.find(',', pos);
		std::string item = all.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
		if (n == p.max)
			return -EINVAL;
		int r = parse_scalar(p.type, item, (char *)p.ptr + n * p.elem, w);
		if (r)
			return r;
		n++;
		if (comma == std::string::npos)
			break;
		pos = comma + 1;
	}
	if (p.num)
		*p.num = n;
	return 0;
}

void claim(struct module *m, const void *addr, size_t len)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	if (!m->khost)
		m->khost = new ModExtra();
	static_cast<ModExtra *>(m->khost)->claims.push_back({(const char *)addr, len});
}

void add_symbol(const char *name, void *addr, bool gpl_only)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().symbols[name] = addr;
	if (gpl_only)
		world().plain_exports.erase(name);
	else
		world().plain_exports.insert(name);
}

int symbol_refs(const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	return world().symbol_refs[name];
}

void run_in_irq(const std::function<void()> &fn)
{
	IrqThread &it = irq_thread();
	std::unique_lock<std::mutex> lk(it.lock);
	if (!it.started) {
		it.started = true;
		it.thread = std::thread(irq_loop);
		it.thread.detach();
	}
	it.cv.wait(lk, [&] { return !it.busy; });
	it.job = fn;
	it.busy = true;
	it.done = false;
	it.cv.notify_all();
	it.cv.wait(lk, [&] { return it.done; });
	it.busy = false;
	it.cv.notify_all();
}

/*
 * Handlers in flight per interrupt: disable_irq, free_irq and
 * synchronize_irq wait for them, as the kernel's do.
 */
std::map<unsigned, int> &irq_inflight()
{
	static auto *m = new std::map<unsigned, int>();
	return *m;
}
std::condition_variable_any &irq_idle_cv()
{
	static auto *cv = new std::condition_variable_any();
	return *cv;
}

bool irq_enter_action(const IrqAction &a)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	for (auto &cur : world().irqs)
		if (cur.irq == a.irq && cur.dev == a.dev && cur.handler == a.handler && cur.enabled) {
			irq_inflight()[a.irq]++;
			return true;
		}
	return false;
}

void irq_leave_action(unsigned irq)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	irq_inflight()[irq]--;
	irq_idle_cv().notify_all();
}

void irq_wait_idle(unsigned irq)
{
	if (ctx().hardirq)
		return;
	std::unique_lock<std::recursive_mutex> lk(world().lock);
	irq_idle_cv().wait(lk, [&] { return irq_inflight()[irq] == 0; });
}

int raise_irq(unsigned irq)
{
	std::vector<IrqAction> actions;
	{
		std::lock_guard<std::recursive_mutex> g(world().lock);
		for (auto &a : world().irqs)
			if (a.irq == irq && a.enabled)
				actions.push_back(a);
	}
	oracle_irq(irq);
	int n = 0;
	std::vector<IrqAction> wake;
	run_in_irq([&] {
		for (auto &a : actions) {
			/* Freed or disabled since the raise: the handler does not run. */
			if (!irq_enter_action(a))
				continue;
			irqreturn_t r = a.handler ? a.handler((int)irq, a.dev) : IRQ_WAKE_THREAD;
			irq_leave_action(irq);
			n++;
			if (r == IRQ_WAKE_THREAD && a.thread_fn)
				wake.push_back(a);
		}
	});
	for (auto &a : wake)	/* threaded handlers run in process context */
		a.thread_fn((int)irq, a.dev);
	return n;
}

struct device_node *dt_node(struct device_node *parent, const char *full_name)
{
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	if (!w.dt_root) {
		w.dt_root = new device_node();
		w.dt_root->name = "";
		w.dt_root->full_name = "/";
	}
	if (!parent)
		parent = w.dt_root;
	auto *n = new device_node();
	n->full_name = strdup(full_name);
	std::string nm = full_name;
	n->name = strdup(nm.substr(0, nm.find('@')).c_str());
	n->parent = parent;
	/* append as last child, so children keep their order */
	struct device_node **pp = &parent->child;
	while (*pp)
		pp = &(*pp)->sibling;
	*pp = n;
	return n;
}

void dt_populate()
{
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	for (struct device_node *n = w.dt_root ? w.dt_root->child : nullptr; n; n = n->sibling) {
		if (!find_prop(n, "compatible"))
			continue;
		/* The machine's own devices: never unregistered, so not tracked. */
		auto *p = new platform_device();
		p->name = n->name;
		p->id = PLATFORM_DEVID_NONE;
		p->dev.of_node = n;
		snprintf(p->dev.khost_name, sizeof(p->dev.khost_name), "%s", n->full_name);
		w.pdevs.push_back(p);
		for (auto *d : w.pdrvs)
			try_bind(d, p);
	}
}

void dt_prop(struct device_node *n, const char *name, std::initializer_list<uint32_t> cells)
{
	std::vector<uint32_t> be;
	for (uint32_t c : cells)
		be.push_back(__builtin_bswap32(c));
	add_prop(n, name, be.data(), (int)(be.size() * 4));
}

void dt_prop_u64(struct device_node *n, const char *name, std::initializer_list<uint64_t> cells)
{
	std::vector<uint32_t> be;
	for (uint64_t c : cells) {
		be.push_back(__builtin_bswap32((uint32_t)(c >> 32)));
		be.push_back(__builtin_bswap32((uint32_t)c));
	}
	add_prop(n, name, be.data(), (int)(be.size() * 4));
}

void dt_prop_str(struct device_node *n, const char *name, const char *value)
{
	add_prop(n, name, value, (int)strlen(value) + 1);
}

static struct file *open_node(const Node &node, unsigned flags)
{
	auto *f = new file();
	auto *ino = new inode();
	ino->i_rdev = node.devt;
	ino->i_private = node.private_data;
	f->f_inode = ino;
	f->f_op = node.fops;
	f->f_flags = flags;
	f->f_mode = ((flags & 3) != O_WRONLY ? FMODE_READ : 0) | ((flags & 3) != O_RDONLY ? FMODE_WRITE : 0);
	f->f_cred = khost_current_cred();
	if (node.misc)
		f->private_data = node.miscdev;
	if (node.fops->owner && !try_module_get(node.fops->owner)) {
		delete ino;
		delete f;
		return nullptr;
	}
	if (node.fops->open) {
		int r = node.fops->open(ino, f);
		if (r) {
			if (node.fops->owner)
				module_put(node.fops->owner);
			delete ino;
			delete f;
			errno = -r;
			return nullptr;
		}
	}
	track("open file", f, "file \"" + node.name + "\" not closed");
	return f;
}

struct file *open(const char *name, unsigned flags)
{
	Node node;
	{
		World &w = world();
		std::lock_guard<std::recursive_mutex> g(w.lock);
		auto it = w.nodes.find(name);
		if (it == w.nodes.end())
			return nullptr;
		node = it->second;
		if (!node.fops)	/* a class device: its numbers lead to the cdev */
			node.fops = fops_for(node.devt);
	}
	if (!node.fops)
		return nullptr;
	return open_node(node, flags);
}

long ioctl(struct file *f, unsigned cmd, unsigned long arg)
{
	if (!f->f_op->unlocked_ioctl)
		return -ENOTTY;
	return f->f_op->unlocked_ioctl(f, cmd, arg);
}

long compat_ioctl(struct file *f, unsigned cmd, unsigned long arg)
{
	if (!f->f_op->compat_ioctl)
		return -ENOTTY;
	return f->f_op->compat_ioctl(f, cmd, arg);
}

void *mmap(struct file *f, size_t len, unsigned long pgoff, int *err, bool writable)
{
	if (!f->f_op->mmap) {
		if (err)
			*err = -ENODEV;
		return nullptr;
	}
	struct vm_area_struct vma = {};
	/* A made-up user address range, page aligned. */
	vma.vm_start = 0x7f0000000000UL;
	vma.vm_end = vma.vm_start + ((len + PAGE_SIZE - 1) & PAGE_MASK);
	vma.vm_pgoff = pgoff;
	vma.vm_flags = VM_READ | VM_MAYREAD | VM_SHARED | VM_MAYSHARE;
	if (f->f_mode & FMODE_WRITE)
		vma.vm_flags |= VM_MAYWRITE;
	if (writable)
		vma.vm_flags |= VM_WRITE;
	if ((vma.vm_flags & VM_WRITE) && !(vma.vm_flags & VM_MAYWRITE)) {
		if (err)
			*err = -EACCES;	/* do_mmap: a shared writable map of a read-only file */
		return nullptr;
	}
	vma.vm_file = f;
	int r = f->f_op->mmap(f, &vma);
	if (err)
		*err = r;
	if (r)
		return nullptr;
	if (!vma.khost_mapped && err)
		*err = -EFAULT;
	if (vma.khost_mapped && vma.vm_ops) {
		/* The area lives, with what the driver attached, until munmap. */
		std::lock_guard<std::mutex> g(vma_lock);
		vmas[vma.khost_mapped] = new vm_area_struct(vma);
		track("user mapping", vma.khost_mapped, "mapping with vm_ops not unmapped");
	}
	return vma.khost_mapped;
}

int munmap(void *addr)
{
	struct vm_area_struct *vma = nullptr;
	{
		std::lock_guard<std::mutex> g(vma_lock);
		auto it = vmas.find(addr);
		if (it != vmas.end()) {
			vma = it->second;
			vmas.erase(it);
		}
	}
	if (!vma)
		return 0;	/* nothing of the driver's to tell */
	untrack("user mapping", addr);
	if (vma->vm_ops->close)
		vma->vm_ops->close(vma);
	delete vma;
	return 0;
}

ssize_t read(struct file *f, std::string &out, size_t max)
{
	if (!f->f_op->read)
		return -EINVAL;
	std::string buf(max, '\0');
	ssize_t total = 0;
	for (;;) {
		ssize_t n = f->f_op->read(f, buf.data() + total, max - total, &f->f_pos);
		if (n < 0)
			return n;
		if (n == 0)
			break;
		total += n;
		if ((size_t)total == max)
			break;
	}
	out.assign(buf.data(), total);
	return total;
}

ssize_t write(struct file *f, const std::string &data)
{
	if (!f->f_op->write)
		return -EINVAL;
	return f->f_op->write(f, data.data(), data.size(), &f->f_pos);
}

int close(struct file *f)
{
	if (!f)
		return -EBADF;
	int r = 0;
	if (f->f_op->release)
		r = f->f_op->release(f->f_inode, f);
	if (f->f_op->owner)
		module_put(f->f_op->owner);
	untrack("open file", f);
	delete f->f_inode;
	delete f;
	return r;
}

std::string debugfs_read(const char *path)
{
	struct file *f = open(path, O_RDONLY);
	if (!f)
		return "";
	std::string out;
	read(f, out);
	close(f);
	return out;
}

int debugfs_write(const char *path, const std::string &data)
{
	struct file *f = open(path, O_WRONLY);
	if (!f)
		return -ENOENT;
	ssize_t n = write(f, data);
	close(f);
	return n < 0 ? (int)n : 0;
}

int unbind_device(const char *name)
{
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	for (auto *d : w.pdevs)
		if (!strcmp(dev_name(&d->dev), name)) {
			if (!w.bound.count(d))
				return -ENODEV;
			unbind(d);
			return 0;
		}
	return -ENODEV;
}

int bind_device(const char *name)
{
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	for (auto *d : w.pdevs)
		if (!strcmp(dev_name(&d->dev), name)) {
			if (w.bound.count(d))
				return -EBUSY;
			for (auto *drv : w.pdrvs)
				try_bind(drv, d);
			return w.bound.count(d) ? 0 : -ENODEV;
		}
	return -ENODEV;
}

int system_suspend()
{
	std::vector<struct platform_device *> devs;
	{
		std::lock_guard<std::recursive_mutex> g(world().lock);
		for (auto *d : world().pdevs)
			if (world().bound.count(d))
				devs.push_back(d);
	}
	std::reverse(devs.begin(), devs.end());
	for (auto *d : devs) {
		const struct dev_pm_ops *pm = d->dev.driver ? d->dev.driver->pm : nullptr;
		if (pm && pm->suspend) {
			int r = pm->suspend(&d->dev);
			if (r)
				return r;
		}
	}
	return 0;
}

int system_resume()
{
	std::vector<struct platform_device *> devs;
	{
		std::lock_guard<std::recursive_mutex> g(world().lock);
		for (auto *d : world().pdevs)
			if (world().bound.count(d))
				devs.push_back(d);
	}
	for (auto *d : devs) {
		const struct dev_pm_ops *pm = d->dev.driver ? d->dev.driver->pm : nullptr;
		if (pm && pm->resume) {
			int r = pm->resume(&d->dev);
			if (r)
				return r;
		}
	}
	return 0;
}

} // namespace khost

extern "C" {

/* ---- device nodes made by other parts of the bed ---- */

void khost_add_node(const char *name, const struct file_operations *fops, void *private_data)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().nodes[name] = Node{name, fops, 0, private_data, false, nullptr};
}

void khost_remove_node(const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().nodes.erase(name);
}

/* ---- modules ---- */

void khost_module_register(struct module *m)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().modules[m->name] = m;
}

void khost_module_set_init(struct module *m, int (*fn)(void)) { m->init = fn; }
void khost_module_set_exit(struct module *m, void (*fn)(void)) { m->exit = fn; }

bool try_module_get(struct module *m)
{
	if (!m)
		return true;
	if (m->state == MODULE_STATE_GOING || m->state == MODULE_STATE_UNFORMED)
		return false;
	__atomic_add_fetch(&m->refcnt, 1, __ATOMIC_SEQ_CST);
	return true;
}

void __module_get(struct module *m)
{
	if (m)
		__atomic_add_fetch(&m->refcnt, 1, __ATOMIC_SEQ_CST);
}

void module_put(struct module *m)
{
	if (m && __atomic_sub_fetch(&m->refcnt, 1, __ATOMIC_SEQ_CST) < 0)
		fault(std::string("module_put of ") + m->name + " below zero");
}

int module_refcount(struct module *m) { return m ? m->refcnt : 0; }

bool khost_within_module(unsigned long addr, const struct module *m)
{
	if (!m)
		return false;
	std::lock_guard<std::recursive_mutex> g(world().lock);
	const char *p = (const char *)addr;
	bool claimed_elsewhere = false;
	for (auto &[name, mod] : world().modules) {
		auto *x = static_cast<ModExtra *>(mod->khost);
		if (!x)
			continue;
		for (auto &[s, n] : x->claims)
			if (p >= s && p < s + n) {
				if (mod == m)
					return true;
				claimed_elsewhere = true;
			}
	}
	return !claimed_elsewhere;
}

int register_module_notifier(struct notifier_block *nb)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().module_notifiers.push_back(nb);
	track("module notifier", nb, "module notifier not unregistered");
	return 0;
}

int unregister_module_notifier(struct notifier_block *nb)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	auto &v = world().module_notifiers;
	auto it = std::find(v.begin(), v.end(), nb);
	if (it == v.end())
		return -ENOENT;
	v.erase(it);
	untrack("module notifier", nb);
	return 0;
}

void *__symbol_get(const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	auto it = world().symbols.find(name);
	if (it == world().symbols.end())
		return nullptr;
	/* kernel/module: symbol_get finds only EXPORT_SYMBOL_GPL symbols (5.4.y, 6.1). */
	if (world().plain_exports.count(name)) {
		printk(KERN_WARNING "failing symbol_get of non-GPLONLY symbol %s.\n", name);
		return nullptr;
	}
	if (world().symbol_refs[name]++ == 0)
		track("symbol", it->second, std::string("symbol ") + name + " not put");
	return it->second;
}

void __symbol_put(const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	auto it = world().symbols.find(name);
	int &refs = world().symbol_refs[name];
	if (it == world().symbols.end() || refs <= 0) {
		fault(std::string("symbol_put of ") + name + " not held");
		return;
	}
	if (--refs == 0)
		untrack("symbol", it->second);
}

unsigned long kallsyms_lookup_name(const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	auto it = world().symbols.find(name);
	return it == world().symbols.end() ? 0 : (unsigned long)it->second;
}

void khost_param_register(const char *mod, const char *name, const char *type, void *ptr,
			  unsigned int max, unsigned int *num, size_t elem)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().params[mod][name] = Param{type, ptr, max, num, elem};
}

/* ---- resources ---- */

static std::map<resource_size_t, struct resource *> &mem_regions()
{
	static auto *m = new std::map<resource_size_t, struct resource *>();
	return *m;
}

struct resource *request_mem_region(resource_size_t start, resource_size_t n, const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	for (auto &[s, r] : mem_regions())
		if (start <= r->end && r->start < start + n)
			return nullptr;	/* busy */
	auto *r = new resource{start, start + n - 1, name, IORESOURCE_MEM};
	mem_regions()[start] = r;
	track("mem region", r, std::string("memory region ") + (name ? name : "") + " not released");
	return r;
}

void release_mem_region(resource_size_t start, resource_size_t n)
{
	(void)n;
	std::lock_guard<std::recursive_mutex> g(world().lock);
	auto it = mem_regions().find(start);
	if (it == mem_regions().end()) {
		fault("release_mem_region of a region not requested");
		return;
	}
	untrack("mem region", it->second);
	delete it->second;
	mem_regions().erase(it);
}

/* ---- device tree ---- */

struct device_node *of_node_get(struct device_node *n)
{
	if (n) {
		std::lock_guard<std::recursive_mutex> g(world().lock);
		if (n->refcount++ == 0)
			track("of_node", n, std::string("device node ") + n->full_name + " reference not put");
	}
	return n;
}

void of_node_put(struct device_node *n)
{
	if (!n)
		return;
	std::lock_guard<std::recursive_mutex> g(world().lock);
	if (n->refcount <= 0) {
		fault(std::string("of_node_put of ") + n->full_name + " without a reference");
		return;
	}
	if (--n->refcount == 0)
		untrack("of_node", n);
}

struct device_node *of_find_node_by_name(struct device_node *from, const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	struct device_node *n = dt_next(from);
	if (!from && n)
		n = dt_next(n);	/* skip the root */
	for (; n; n = dt_next(n))
		if (n->name && !strcmp(n->name, name))
			break;
	of_node_put(from);
	return of_node_get(n);
}

struct device_node *of_find_node_by_path(const char *path)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	struct device_node *n = world().dt_root;
	if (!n || path[0] != '/')
		return nullptr;
	std::string rest = path + 1;
	while (!rest.empty() && n) {
		size_t slash = rest.find('/');
		std::string part = rest.substr(0, slash);
		struct device_node *c = n->child;
		for (; c; c = c->sibling)
			if (part == c->full_name || part == c->name)
				break;
		n = c;
		rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
	}
	return of_node_get(n);
}

struct device_node *of_find_compatible_node(struct device_node *from, const char *type, const char *compat)
{
	(void)type;
	std::lock_guard<std::recursive_mutex> g(world().lock);
	struct device_node *n = dt_next(from);
	for (; n; n = dt_next(n))
		if (of_device_is_compatible(n, compat))
			break;
	of_node_put(from);
	return of_node_get(n);
}

struct device_node *of_get_next_child(const struct device_node *node, struct device_node *prev)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	struct device_node *n = prev ? prev->sibling : (node ? node->child : nullptr);
	of_node_put(prev);
	return of_node_get(n);
}

struct device_node *of_get_child_by_name(const struct device_node *node, const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	for (struct device_node *c = node ? node->child : nullptr; c; c = c->sibling)
		if (!strcmp(c->name, name))
			return of_node_get(c);
	return nullptr;
}

struct device_node *of_get_parent(const struct device_node *node)
{
	return node ? of_node_get(node->parent) : nullptr;
}

struct property *of_find_property(const struct device_node *n, const char *name, int *lenp)
{
	struct property *p = find_prop(n, name);
	if (p && lenp)
		*lenp = p->length;
	return p;
}

const void *of_get_property(const struct device_node *n, const char *name, int *lenp)
{
	struct property *p = of_find_property(n, name, lenp);
	return p ? p->value : nullptr;
}

bool of_property_read_bool(const struct device_node *n, const char *name) { return find_prop(n, name) != nullptr; }

int of_property_read_u32_index(const struct device_node *n, const char *name, u32 index, u32 *out)
{
	struct property *p = find_prop(n, name);
	if (!p)
		return -EINVAL;
	if ((size_t)p->length < (index + 1) * 4)
		return -EOVERFLOW;
	*out = __builtin_bswap32(((const u32 *)p->value)[index]);
	return 0;
}

int of_property_read_u32_array(const struct device_node *n, const char *name, u32 *out, size_t sz)
{
	struct property *p = find_prop(n, name);
	if (!p)
		return -EINVAL;
	if (!p->value)
		return -ENODATA;
	if ((size_t)p->length < sz * 4)
		return -EOVERFLOW;
	for (size_t i = 0; i < sz; i++)
		out[i] = __builtin_bswap32(((const u32 *)p->value)[i]);
	return 0;
}

int of_property_read_u64(const struct device_node *n, const char *name, u64 *out)
{
	u32 v[2];
	int r = of_property_read_u32_array(n, name, v, 2);
	if (!r)
		*out = ((u64)v[0] << 32) | v[1];
	return r;
}

int of_property_read_string(const struct device_node *n, const char *name, const char **out)
{
	struct property *p = find_prop(n, name);
	if (!p)
		return -EINVAL;
	if (!p->length || strnlen((const char *)p->value, p->length) >= (size_t)p->length)
		return -EILSEQ;
	*out = (const char *)p->value;
	return 0;
}

int of_property_count_elems_of_size(const struct device_node *n, const char *name, int elem_size)
{
	struct property *p = find_prop(n, name);
	if (!p)
		return -EINVAL;
	if (p->length % elem_size)
		return -EINVAL;
	return p->length / elem_size;
}

int of_device_is_compatible(const struct device_node *n, const char *compat)
{
	struct property *p = find_prop(n, "compatible");
	if (!p)
		return 0;
	const char *s = (const char *)p->value;
	for (int off = 0; off < p->length; off += (int)strlen(s + off) + 1)
		if (!strcmp(s + off, compat))
			return 1;
	return 0;
}

static u32 cells_of(const struct device_node *n, const char *name, u32 dflt)
{
	for (; n; n = n->parent) {
		u32 v;
		if (!of_property_read_u32(n, name, &v))
			return v;
	}
	return dflt;
}

int of_address_to_resource(struct device_node *n, int index, struct resource *r)
{
	u32 ac = cells_of(n->parent, "#address-cells", 2);
	u32 sc = cells_of(n->parent, "#size-cells", 1);
	struct property *p = find_prop(n, "reg");
	if (!p)
		return -EINVAL;
	u32 per = ac + sc;
	if ((size_t)p->length < (index + 1) * per * 4)
		return -EINVAL;
	const u32 *c = (const u32 *)p->value + index * per;
	u64 addr = 0, size = 0;
	for (u32 i = 0; i < ac; i++)
		addr = (addr << 32) | __builtin_bswap32(c[i]);
	for (u32 i = 0; i < sc; i++)
		size = (size << 32) | __builtin_bswap32(c[ac + i]);
	memset(r, 0, sizeof(*r));
	r->start = addr;
	r->end = addr + size - 1;
	r->flags = IORESOURCE_MEM;
	r->name = n->full_name;
	return 0;
}

void __iomem *of_iomap(struct device_node *n, int index)
{
	struct resource r;
	if (of_address_to_resource(n, index, &r))
		return nullptr;
	return ioremap(r.start, resource_size(&r));
}

/* "interrupts" as the GIC gives them: <type number flags>; shared peripheral
 * interrupts (type 0) are numbered from 32. */
unsigned int irq_of_parse_and_map(struct device_node *n, int index)
{
	u32 cell[3];
	struct property *p = find_prop(n, "interrupts");
	if (!p || (size_t)p->length < (index + 1) * 12u)
		return 0;
	for (int i = 0; i < 3; i++)
		cell[i] = __builtin_bswap32(((const u32 *)p->value)[index * 3 + i]);
	return cell[0] == 0 ? cell[1] + 32 : cell[1] + 16;
}

/* ---- devices ---- */

const char *dev_name(const struct device *d)
{
	if (!d)
		return "(NULL device *)";
	return d->khost_name[0] ? d->khost_name : (d->init_name ? d->init_name : "");
}

int dev_set_name(struct device *d, const char *fmt, ...)
{
	va_list ap;
	va_start(ap, fmt);
	vsnprintf(d->khost_name, sizeof(d->khost_name), fmt, ap);
	va_end(ap);
	return 0;
}

struct device *get_device(struct device *d) { return d; }
void put_device(struct device *d) { (void)d; }

void *devm_kzalloc(struct device *d, size_t size, gfp_t gfp)
{
	(void)d;
	return kzalloc(size, gfp);
}
void *devm_kmalloc(struct device *d, size_t size, gfp_t gfp)
{
	(void)d;
	return kmalloc(size, gfp);
}
void devm_kfree(struct device *d, const void *p)
{
	(void)d;
	kfree(p);
}

int dma_set_mask(struct device *d, u64 mask)
{
	d->khost_dma_mask = mask;
	d->dma_mask = &d->khost_dma_mask;
	return 0;
}
int dma_set_coherent_mask(struct device *d, u64 mask)
{
	d->coherent_dma_mask = mask;
	return 0;
}
int dma_set_mask_and_coherent(struct device *d, u64 mask)
{
	dma_set_mask(d, mask);
	return dma_set_coherent_mask(d, mask);
}
int dma_coerce_mask_and_coherent(struct device *d, u64 mask) { return dma_set_mask_and_coherent(d, mask); }

/* ---- platform bus ---- */

int platform_driver_register(struct platform_driver *drv)
{
	khost_might_sleep("platform_driver_register");
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	w.pdrvs.push_back(drv);
	track("platform driver", drv, std::string("platform driver ") + (drv->driver.name ? drv->driver.name : "?") + " not unregistered");
	for (auto *d : w.pdevs)
		try_bind(drv, d);
	return 0;
}

void platform_driver_unregister(struct platform_driver *drv)
{
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	for (auto *d : w.pdevs)
		if (w.bound.count(d) && w.bound[d] == drv)
			unbind(d);
	w.pdrvs.remove(drv);
	if (!untrack("platform driver", drv))
		fault("platform_driver_unregister of a driver not registered");
}

int platform_device_add(struct platform_device *pdev)
{
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	if (!pdev->dev.khost_name[0]) {
		if (pdev->id >= 0)
			snprintf(pdev->dev.khost_name, sizeof(pdev->dev.khost_name), "%s.%d", pdev->name, pdev->id);
		else
			snprintf(pdev->dev.khost_name, sizeof(pdev->dev.khost_name), "%s", pdev->name);
	}
	w.pdevs.push_back(pdev);
	track("platform device", pdev, std::string("platform device ") + pdev->dev.khost_name + " not unregistered");
	for (auto *d : w.pdrvs)
		try_bind(d, pdev);
	return 0;
}

int platform_device_register(struct platform_device *pdev) { return platform_device_add(pdev); }

void platform_device_del(struct platform_device *pdev)
{
	if (IS_ERR_OR_NULL(pdev))
		return;
	World &w = world();
	std::lock_guard<std::recursive_mutex> g(w.lock);
	unbind(pdev);
	w.pdevs.remove(pdev);
	if (!untrack("platform device", pdev))
		fault("platform device removed that was not registered");
}

struct platform_device *platform_device_alloc(const char *name, int id)
{
	auto *p = (struct platform_device *)kzalloc(sizeof(struct platform_device) + strlen(name) + 1, GFP_KERNEL);
	if (!p)
		return nullptr;
	char *nm = (char *)(p + 1);
	strcpy(nm, name);
	p->name = nm;
	p->id = id;
	p->khost = (void *)1;	/* allocated here: freed by put/unregister */
	return p;
}

void platform_device_put(struct platform_device *pdev)
{
	if (IS_ERR_OR_NULL(pdev))
		return;
	if (pdev->khost == (void *)1) {
		kfree(pdev->resource);
		kfree(pdev);
	}
}

void platform_device_unregister(struct platform_device *pdev)
{
	platform_device_del(pdev);
	platform_device_put(pdev);
}

struct platform_device *platform_device_register_simple(const char *name, int id, const struct resource *res, unsigned int num)
{
	struct platform_device *p = platform_device_alloc(name, id);
	if (!p)
		return (struct platform_device *)ERR_PTR(-ENOMEM);
	if (num) {
		p->resource = (struct resource *)kmemdup(res, sizeof(*res) * num, GFP_KERNEL);
		p->num_resources = num;
	}
	platform_device_add(p);
	return p;
}

struct resource *platform_get_resource(struct platform_device *p, unsigned int type, unsigned int n)
{
	for (u32 i = 0; i < p->num_resources; i++)
		if ((p->resource[i].flags & type) && n-- == 0)
			return &p->resource[i];
	return nullptr;
}

int platform_get_irq(struct platform_device *p, unsigned int n)
{
	struct resource *r = platform_get_resource(p, IORESOURCE_IRQ, n);
	if (r)
		return (int)r->start;
	if (p->dev.of_node) {
		unsigned irq = irq_of_parse_and_map(p->dev.of_node, (int)n);
		if (irq)
			return (int)irq;
	}
	return -ENXIO;
}

const void *of_device_get_match_data(const struct device *d)
{
	const struct of_device_id *hit = nullptr;
	if (d->driver && of_match(d->driver->of_match_table, d->of_node, &hit))
		return hit->data;
	return nullptr;
}

/* ---- interrupts ---- */

int request_threaded_irq(unsigned int irq, irq_handler_t handler, irq_handler_t thread_fn,
			 unsigned long flags, const char *name, void *dev)
{
	khost_might_sleep("request_irq");
	if (!handler && !thread_fn)
		return -EINVAL;
	std::lock_guard<std::recursive_mutex> g(world().lock);
	for (auto &a : world().irqs)
		if (a.irq == irq && !(flags & IRQF_SHARED))
			return -EBUSY;
	world().irqs.push_back(IrqAction{irq, handler, thread_fn, dev, name ? name : "", true});
	track("irq", &world().irqs.back(), "interrupt " + std::to_string(irq) + " (" + (name ? name : "") + ") not freed");
	return 0;
}

int request_irq(unsigned int irq, irq_handler_t handler, unsigned long flags, const char *name, void *dev)
{
	return request_threaded_irq(irq, handler, nullptr, flags, name, dev);
}

const void *free_irq(unsigned int irq, void *dev)
{
	khost_might_sleep("free_irq");
	khost::irq_wait_idle(irq);
	std::lock_guard<std::recursive_mutex> g(world().lock);
	for (auto it = world().irqs.begin(); it != world().irqs.end(); ++it)
		if (it->irq == irq && it->dev == dev) {
			untrack("irq", &*it);
			std::string name = it->name;
			world().irqs.erase(it);
			return "";
		}
	fault("free_irq of interrupt " + std::to_string(irq) + " not requested");
	return nullptr;
}

int devm_request_irq(struct device *d, unsigned int irq, irq_handler_t handler, unsigned long flags, const char *name, void *dev)
{
	(void)d;
	return request_irq(irq, handler, flags, name, dev);
}

int devm_request_threaded_irq(struct device *d, unsigned int irq, irq_handler_t handler, irq_handler_t thread_fn,
			      unsigned long flags, const char *name, void *dev)
{
	(void)d;
	return request_threaded_irq(irq, handler, thread_fn, flags, name, dev);
}

void devm_free_irq(struct device *d, unsigned int irq, void *dev)
{
	(void)d;
	free_irq(irq, dev);
}

static void set_irq_enabled(unsigned irq, bool on)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	for (auto &a : world().irqs)
		if (a.irq == irq)
			a.enabled = on;
}

void enable_irq(unsigned int irq) { set_irq_enabled(irq, true); }
void disable_irq(unsigned int irq)
{
	khost_might_sleep("disable_irq");
	set_irq_enabled(irq, false);
	khost::irq_wait_idle(irq);
}
void disable_irq_nosync(unsigned int irq) { set_irq_enabled(irq, false); }
void synchronize_irq(unsigned int irq) { khost::irq_wait_idle(irq); }
int irq_set_affinity_hint(unsigned int irq, const struct cpumask *m)
{
	(void)irq;
	(void)m;
	return 0;
}

/* ---- files ---- */

loff_t noop_llseek(struct file *f, loff_t off, int whence)
{
	(void)off;
	(void)whence;
	return f->f_pos;
}
loff_t no_llseek(struct file *f, loff_t off, int whence)
{
	(void)f;
	(void)off;
	(void)whence;
	return -ESPIPE;
}
loff_t default_llseek(struct file *f, loff_t off, int whence)
{
	if (whence == SEEK_CUR)
		off += f->f_pos;
	if (off < 0)
		return -EINVAL;
	f->f_pos = off;
	return off;
}
int nonseekable_open(struct inode *i, struct file *f)
{
	(void)i;
	(void)f;
	return 0;
}
int simple_open(struct inode *i, struct file *f)
{
	if (i->i_private)
		f->private_data = i->i_private;
	return 0;
}

ssize_t simple_read_from_buffer(void __user *to, size_t count, loff_t *ppos, const void *from, size_t available)
{
	loff_t pos = *ppos;
	if (pos < 0)
		return -EINVAL;
	if ((size_t)pos >= available || !count)
		return 0;
	if (count > available - pos)
		count = available - pos;
	if (copy_to_user(to, (const char *)from + pos, count))
		return -EFAULT;
	*ppos = pos + count;
	return (ssize_t)count;
}

ssize_t simple_write_to_buffer(void *to, size_t available, loff_t *ppos, const void __user *from, size_t count)
{
	loff_t pos = *ppos;
	if (pos < 0)
		return -EINVAL;
	if ((size_t)pos >= available || !count)
		return 0;
	if (count > available - pos)
		count = available - pos;
	if (copy_from_user((char *)to + pos, from, count))
		return -EFAULT;
	*ppos = pos + count;
	return (ssize_t)count;
}

/* ---- character devices, classes, misc devices ---- */

int alloc_chrdev_region(khost_dev_t *dev, unsigned int first, unsigned int count, const char *name)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	unsigned major = world().next_major--;
	*dev = MKDEV(major, first);
	track("chrdev region", (void *)(uintptr_t)*dev, std::string("device numbers of ") + name + " not released");
	(void)count;
	return 0;
}

int register_chrdev_region(khost_dev_t from, unsigned int count, const char *name)
{
	(void)count;
	track("chrdev region", (void *)(uintptr_t)from, std::string("device numbers of ") + name + " not released");
	return 0;
}

void unregister_chrdev_region(khost_dev_t from, unsigned int count)
{
	(void)count;
	if (!untrack("chrdev region", (void *)(uintptr_t)from))
		fault("unregister_chrdev_region of numbers not registered");
}

int __register_chrdev(unsigned int major, unsigned int first, unsigned int count, const char *name,
		      const struct file_operations *fops)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	if (!major)
		major = world().next_major--;
	khost_dev_t d = MKDEV(major, first);
	world().chrdev_ranges[d] = {fops, name};
	track("chrdev", (void *)(uintptr_t)major, std::string("character device ") + name + " not unregistered");
	(void)count;
	return (int)major;
}

void unregister_chrdev(unsigned int major, const char *name)
{
	(void)name;
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().chrdev_ranges.erase(MKDEV(major, 0));
	if (!untrack("chrdev", (void *)(uintptr_t)major))
		fault("unregister_chrdev of a major not registered");
}

void cdev_init(struct cdev *c, const struct file_operations *fops)
{
	memset(c, 0, sizeof(*c));
	c->ops = fops;
}

int cdev_add(struct cdev *c, khost_dev_t dev, unsigned int count)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	c->dev = dev;
	c->count = count;
	world().cdevs[c] = {dev, count};
	track("cdev", c, "cdev " + std::to_string(MAJOR(dev)) + ":" + std::to_string(MINOR(dev)) + " not deleted");
	return 0;
}

void cdev_del(struct cdev *c)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().cdevs.erase(c);
	if (!untrack("cdev", c))
		fault("cdev_del of a cdev not added");
}

const struct file_operations *khost_fops_for(khost_dev_t devt)
{
	World &w = world();
	for (auto &[c, range] : w.cdevs)
		if (devt >= range.first && devt < range.first + range.second)
			return c->ops;
	for (auto &[d, entry] : w.chrdev_ranges)
		if (MAJOR(d) == MAJOR(devt))
			return entry.first;
	return nullptr;
}

struct KHOST_CLASS *khost_class_create(struct module *owner, const char *name)
{
	auto *c = (struct KHOST_CLASS *)kzalloc(sizeof(struct KHOST_CLASS), GFP_KERNEL);
	if (!c)
		return (struct KHOST_CLASS *)ERR_PTR(-ENOMEM);
	c->name = name;
	c->owner = owner;
	return c;
}

void class_destroy(struct KHOST_CLASS *c)
{
	if (IS_ERR_OR_NULL(c))
		return;
	kfree(c);
}

struct device *device_create(struct KHOST_CLASS *c, struct device *parent, khost_dev_t devt, void *drvdata, const char *fmt, ...)
{
	auto *d = (struct device *)kzalloc(sizeof(struct device), GFP_KERNEL);
	if (!d)
		return (struct device *)ERR_PTR(-ENOMEM);
	va_list ap;
	va_start(ap, fmt);
	vsnprintf(d->khost_name, sizeof(d->khost_name), fmt, ap);
	va_end(ap);
	d->KHOST_CLASS = c;
	d->parent = parent;
	d->devt = devt;
	d->driver_data = drvdata;
	std::string name = d->khost_name;
	if (c && c->devnode) {
		umode_t mode = 0;
		char *nm = c->devnode(d, &mode);
		if (nm) {
			name = nm;
			kfree(nm);
		}
	}
	std::lock_guard<std::recursive_mutex> g(world().lock);
	Node node{name, nullptr, devt, nullptr, false, nullptr, d};
	world().nodes[name] = node;
	return d;
}

void device_destroy(struct KHOST_CLASS *c, khost_dev_t devt)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	for (auto it = world().nodes.begin(); it != world().nodes.end(); ++it)
		if (!it->second.misc && it->second.devt == devt && !it->second.fops) {
			kfree(it->second.classdev);
			world().nodes.erase(it);
			break;
		}
	(void)c;
}

int misc_register(struct miscdevice *m)
{
	khost_might_sleep("misc_register");
	std::lock_guard<std::recursive_mutex> g(world().lock);
	std::string name = m->nodename ? m->nodename : m->name;
	/* The class device's name is taken: sysfs refuses it. */
	if (world().nodes.count(name))
		return -EEXIST;
	static int next_minor = 60;
	if (m->minor == MISC_DYNAMIC_MINOR)
		m->minor = next_minor++;
	auto *d = (struct device *)calloc(1, sizeof(struct device));
	snprintf(d->khost_name, sizeof(d->khost_name), "%s", m->name);
	d->devt = MKDEV(10, m->minor);
	m->this_device = d;
	world().nodes[name] = Node{name, m->fops, d->devt, nullptr, true, m};
	track("misc device", m, "misc device " + name + " not deregistered");
	return 0;
}

void misc_deregister(struct miscdevice *m)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	world().nodes.erase(m->nodename ? m->nodename : m->name);
	free(m->this_device);
	m->this_device = nullptr;
	if (!untrack("misc device", m))
		fault("misc_deregister of a device not registered");
}

/* ---- debugfs ---- */

struct dentry *debugfs_create_dir(const char *name, struct dentry *parent)
{
	std::lock_guard<std::recursive_mutex> g(world().lock);
	std::string path = parent ? world().dentries[parent] + "/" + name : name;
	auto *d = new dentry();
	world().dentries[d] = path;
	d->khost_path = strdup(path.c_str());
	track("debugfs", d, "debugfs entry " + path + " not removed");
	return d;
}

struct dentry *debugfs_create_file(const char *name, umode_t mode, struct dentry *parent, void *data,
				   const struct file_operations *fops)
{
	(void)mode;
	struct dentry *d = debugfs_create_dir(name, parent);
	std::lock_guard<std::recursive_mutex> g(world().lock);
	std::string path = world().dentries[d];
	world().nodes[path] = Node{path, fops, 0, data, false, nullptr};
	return d;
}

static ssize_t u32_read(struct file *f, char __user *buf, size_t n, loff_t *pos)
{
	char tmp[32];
	int len = snprintf(tmp, sizeof(tmp), "%u\n", *(u32 *)f->f_inode->i_private);
	return simple_read_from_buffer(buf, n, pos, tmp, len);
}
static ssize_t u32_write(struct file *f, const char __user *buf, size_t n, loff_t *pos)
{
	(void)pos;
	unsigned v;
	int r = kstrtouint_from_user(buf, n, 0, &v);
	if (r)
		return r;
	*(u32 *)f->f_inode->i_private = v;
	return (ssize_t)n;
}
static const struct file_operations u32_fops = [] {
	struct file_operations f = {};
	f.read = u32_read;
	f.write = u32_write;
	return f;
}();

void debugfs_create_u32(const char *name, umode_t mode, struct dentry *parent, u32 *value)
{
	debugfs_create_file(name, mode, parent, value, &u32_fops);
}

void debugfs_create_x32(const char *name, umode_t mode, struct dentry *parent, u32 *value)
{
	debugfs_create_file(name, mode, parent, value, &u32_fops);
}

void debugfs_remove_recursive(struct dentry *d)
{
	if (IS_ERR_OR_NULL(d))
		return;
	std::lock_guard<std::recursive_mutex> g(world().lock);
	World &w = world();
	std::string root = w.dentries[d];
	for (auto it = w.dentries.begin(); it != w.dentries.end();) {
		const std::string &p = it->second;
		if (p == root || p.rfind(root + "/", 0) == 0) {
			w.nodes.erase(p);
			untrack("debugfs", it->first);
			free((void *)it->first->khost_path);
			delete it->first;
			it = w.dentries.erase(it);
		} else {
			++it;
		}
	}
}

void debugfs_remove(struct dentry *d) { debugfs_remove_recursive(d); }

/* ---- seq_file (single_open style) ---- */

struct seq_single {
	int (*show)(struct seq_file *, void *);
	void *data;
	std::string text;
	bool filled = false;
};

void seq_printf(struct seq_file *s, const char *fmt, ...)
{
	va_list ap;
	va_start(ap, fmt);
	char buf[1024];
	vsnprintf(buf, sizeof(buf), fmt, ap);
	va_end(ap);
	static_cast<seq_single *>(s->khost)->text += buf;
}

void seq_puts(struct seq_file *s, const char *str) { static_cast<seq_single *>(s->khost)->text += str; }
void seq_putc(struct seq_file *s, char c) { static_cast<seq_single *>(s->khost)->text += c; }
int seq_write(struct seq_file *s, const void *data, size_t len)
{
	static_cast<seq_single *>(s->khost)->text.append((const char *)data, len);
	return 0;
}

int single_open(struct file *f, int (*show)(struct seq_file *, void *), void *data)
{
	auto *s = (struct seq_file *)kzalloc(sizeof(struct seq_file), GFP_KERNEL);
	if (!s)
		return -ENOMEM;
	auto *x = new seq_single{show, data, "", false};
	s->khost = x;
	s->KHOST_PRIVATE = data;
	f->private_data = s;
	return 0;
}

int single_release(struct inode *i, struct file *f)
{
	(void)i;
	auto *s = (struct seq_file *)f->private_data;
	delete static_cast<seq_single *>(s->khost);
	kfree(s);
	return 0;
}

ssize_t seq_read(struct file *f, char __user *buf, size_t size, loff_t *ppos)
{
	auto *s = (struct seq_file *)f->private_data;
	auto *x = static_cast<seq_single *>(s->khost);
	if (!x->filled) {
		int r = x->show(s, x->data);
		if (r)
			return r;
		x->filled = true;
	}
	return simple_read_from_buffer(buf, size, ppos, x->text.data(), x->text.size());
}

loff_t seq_lseek(struct file *f, loff_t off, int whence) { return default_llseek(f, off, whence); }

} // extern "C"
