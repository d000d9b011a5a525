// Test side of the host kernel: what a driver test uses to set the scene,
// play hardware and user space, and check what the driver did.
#pragma once

extern "C" {
#include "dev.h"
}

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace khost {

// ---- kernel log and faults ----
struct LogLine {
	int level;		// 0..7, or -1 when printk gave none
	std::string text;	// without the level prefix
};
std::vector<LogLine> log_lines();
std::string log();		// every line's text, concatenated
size_t log_count(const std::string &text);	// times text appears in log()
void clear_log();
// Whether each line is also copied to standard error as it is logged (the
// default); a fuzzer running millions of calls turns that off.
void set_log_echo(bool on);
// Faults the kernel would warn about or crash on: sleeping in atomic context,
// unlocking what is not held, WARN_ON, double free, access outside a mapping.
std::vector<std::string> faults();
void clear_faults();
// What is still held: allocations, mappings, registrations, references,
// running threads and timers, locks.
std::vector<std::string> leaks();

// ---- modules, parameters and symbols ----
struct module *module(const char *name);
int load_module(const char *name);	// notifiers COMING, init, LIVE
// -EAGAIN while referenced, unless forced (rmmod -f); exit, GOING
int unload_module(const char *name, bool force = false);
int set_param(const char *module, const char *param, const char *value);
// Marks [addr, addr + len) as belonging to m (for owner lookups of a second
// module in one test). Addresses no module claims belong to every module.
void claim(struct module *m, const void *addr, size_t len);
// A symbol other modules export; symbol_get() finds only GPL-only ones, as
// the kernel's does (gpl_only false: a plain EXPORT_SYMBOL).
void add_symbol(const char *name, void *addr, bool gpl_only = true);
int symbol_refs(const char *name);

// ---- credentials ----
// The capabilities of the process the test plays (bit n for capability n;
// every one by default, as for root). Files opened afterwards keep them as
// their opener's, as the kernel's file credentials do.
void set_caps(unsigned long long caps);
constexpr unsigned long long kAllCaps = ~0ULL;
constexpr unsigned long long cap_bit(int cap) { return 1ULL << cap; }

// ---- time ----
// Kernel time runs `scale` times faster than the host clock (default 100).
void set_time_scale(unsigned scale);

// The next kernel thread created fails with err (ERR_PTR), as the kernel's
// does when it cannot allocate (-ENOMEM) or its creator is killed (-EINTR).
void fail_next_kthread(int err);

// ---- contexts and interrupts ----
void set_signal_pending(struct task_struct *task, bool pending);
// Raises a kernel interrupt: runs its handlers on the interrupt thread, in
// interrupt context, and returns once they are done. Returns the handler count.
int raise_irq(unsigned irq);
// Runs fn on the interrupt thread in interrupt context and waits for it.
void run_in_irq(const std::function<void()> &fn);

// ---- memory ----
phys_addr_t phys_alloc(size_t size);	// in the arena above 4 GiB
// From now on every allocation of physical memory is followed by `bytes`
// that no one is given (a run past it reaches no one's memory), and what is
// freed is handed out again, lowest first.
void set_alloc_gap(size_t bytes);
// System RAM that no driver allocated (another process's pages, the
// kernel's own): [foreign_ram(), foreign_ram() + kForeignRamSize). pfn_valid
// holds for it as for any RAM, so a driver that takes pfn_valid as a
// permission check maps it; what lands there can be read back.
constexpr size_t kForeignRamSize = 256u << 20;
phys_addr_t foreign_ram();
void *phys_ptr(phys_addr_t addr);
void fail_kmalloc_after(int successes);	// -1: never fail
void fail_user_copy_after(int successes);	// -1: never fail
void poison_user(const void *addr, size_t len);	// copies stop where they touch it
// User memory: a buffer of its own pages in a region below 2 GiB, so that a
// 32-bit caller can address it too (pass (unsigned long)ptr as the compat
// argument), ending where its pages end and followed by an unmapped page.
// Kept until exit. User copies move what they can reach and return what
// they could not, as the kernel's do; ranges that wrap or pass the task size
// fail as a whole.
void *user_alloc(size_t size);
void *compat_alloc(size_t size);	// the same
// From here on only user_alloc buffers are user memory: any other address,
// kernel memory included, faults like an unmapped page. Until then host
// addresses above the first page are user memory too, so that tests may hand
// the driver their own stack and heap buffers.
void confine_user();
// RAM the kernel keeps out of its linear map (a reserved no-map region, as
// the plane buffers are): pfn_valid holds for it, as on arm64 since 5.14,
// but phys_to_virt gives no valid kernel address, and a streaming DMA
// mapping of its pages is a fault (the cache maintenance it implies would
// work on a linear address the memory does not have).
void add_nomap_ram(phys_addr_t base, size_t size);

// ---- register windows ----
struct RegAccess {
	phys_addr_t addr;
	unsigned size;
	uint64_t value;
	bool write;
};
void add_regs(phys_addr_t base, size_t size);
uint32_t reg(phys_addr_t addr);			// current stored value
void set_reg(phys_addr_t addr, uint32_t value);	// without journal or hooks
// A read hook returns the value the driver sees (stored is the last value).
void on_read(phys_addr_t addr, std::function<uint64_t(phys_addr_t, uint64_t stored)> fn);
// A write hook sees the value written and may change what is stored.
void on_write(phys_addr_t addr, std::function<void(phys_addr_t, uint64_t value, uint64_t &stored)> fn);
std::vector<RegAccess> journal(bool with_reads = false);
void clear_journal();

// ---- device tree ----
struct device_node *dt_node(struct device_node *parent, const char *full_name);
void dt_prop(struct device_node *n, const char *name, std::initializer_list<uint32_t> cells);
// Platform devices for the root's children that have a "compatible", as the
// kernel creates them from the device tree at boot.
void dt_populate();
void dt_prop_u64(struct device_node *n, const char *name, std::initializer_list<uint64_t> cells);
void dt_prop_str(struct device_node *n, const char *name, const char *value);

// ---- device nodes, as user space sees them ----
// Opens a misc device, class device or character device by its node name
// ("crkgpu", "fb0") or a debugfs path ("crv_platform/menu"); NULL if absent.
struct file *open(const char *name, unsigned flags = 2);
long ioctl(struct file *f, unsigned cmd, unsigned long arg);
long compat_ioctl(struct file *f, unsigned cmd, unsigned long arg);
// Maps len bytes at page offset pgoff, shared, writable unless `writable` is
// false (VM_MAYWRITE follows the file's open mode, as in the kernel); returns
// the host address or NULL (*err set).
void *mmap(struct file *f, size_t len, unsigned long pgoff, int *err = nullptr, bool writable = true);
// What drivers handed to user space through remap_pfn_range and friends,
// in order: the physical range, the page protection and the area's flags at
// the time of the call.
struct Mapping {
	phys_addr_t phys;
	size_t size;
	unsigned long prot;
	unsigned long vm_flags;
};
std::vector<Mapping> mappings();
// Unmaps what mmap returned: the area's close operation runs, as at munmap.
int munmap(void *addr);
void clear_mappings();
ssize_t read(struct file *f, std::string &out, size_t max = 65536);
// The file behind a descriptor a driver installed (dma-buf, sync_file), and
// closing that descriptor as user space would.
struct file *fd_file(int fd);
int close_fd(int fd);
// How many descriptors drivers have installed so far (visible to user space).
int fd_installs();
ssize_t write(struct file *f, const std::string &data);
int close(struct file *f);
std::string debugfs_read(const char *path);
int debugfs_write(const char *path, const std::string &data);

// Folder under which filp_open() finds the paths a driver opens (created
// on first use, one per process).
std::string file_root();

// A kernel console takes framebuffer fbN over, as fbcon does when it binds:
// a reference on the owner module and an open (user 0). Unregistering the
// framebuffer releases it again, through the driver's release, first.
int fb_console_bind(int node);

// ---- driver binding ----
// What writing a device's name to its driver's sysfs unbind (bind) file
// does: the driver's remove runs (its probe runs again). 0, or -ENODEV
// when no registered platform device has that name or it is not bound
// (bound already, or no driver matches: -EBUSY / -ENODEV).
int unbind_device(const char *name);
int bind_device(const char *name);

// ---- power ----
int system_suspend();	// bound drivers' suspend, in reverse registration order
int system_resume();

} // namespace khost
