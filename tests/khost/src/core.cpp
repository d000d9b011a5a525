// Host kernel core: log, faults, resource tracking, contexts, strings and
// allocations.
#include "internal.hpp"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <execinfo.h>
#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <pthread.h>
#include <unistd.h>

extern "C" {
#include "khost/sched.h"
}

namespace khost::detail {

std::mutex &g_lock = *new std::mutex;
std::condition_variable &g_cv = *new std::condition_variable;

namespace {
// Log, faults, tracking and allocations. Never destroyed: kernel threads
// still running when the process exits may log, allocate and free.
struct State {
	std::mutex lock;
	std::deque<LogLine> log;
	size_t log_bytes = 0;
	bool log_echo = true;
	std::string partial_line;
	int partial_level = -1;
	std::vector<std::string> faults;
	std::map<std::string, std::map<const void *, std::string>> tracking;
	std::map<const void *, size_t> allocations;
	int kmalloc_budget = -1;
	int pid_seq = 100;
};
State &st = *new State;
std::mutex &state_lock = st.lock;	// log, faults, tracking
std::deque<LogLine> &log_store = st.log;
std::string &partial_line = st.partial_line;
int &partial_level = st.partial_level;
std::vector<std::string> &fault_store = st.faults;
std::map<std::string, std::map<const void *, std::string>> &tracking = st.tracking;
std::map<const void *, size_t> &allocations = st.allocations;
int &kmalloc_budget = st.kmalloc_budget;
int &pid_seq = st.pid_seq;

// The log keeps its newest lines up to this many bytes of text, as the
// kernel's ring buffer keeps its newest records. state_lock held.
constexpr size_t kLogBytes = 1u << 20;
void keep_line(int level, const std::string &text)
{
	log_store.push_back({level, text});
	st.log_bytes += text.size();
	while (st.log_bytes > kLogBytes && log_store.size() > 1) {
		st.log_bytes -= log_store.front().text.size();
		log_store.pop_front();
	}
}
} // namespace

Ctx::~Ctx()
{
	if (own_task)
		free_host_task(task);
	task = nullptr;
	own_task = false;
}

Ctx &ctx()
{
	thread_local Ctx c;
	return c;
}

bool atomic_ctx()
{
	Ctx &c = ctx();
	return c.spin_held || c.irq_off || c.hardirq || c.softirq || c.preempt_off;
}

void fault(const std::string &what)
{
	std::lock_guard<std::mutex> g(state_lock);
	fault_store.push_back(what);
	fprintf(stderr, "khost fault: %s\n", what.c_str());
}

void track(const char *kind, const void *key, const std::string &desc)
{
	std::lock_guard<std::mutex> g(state_lock);
	tracking[kind][key] = desc;
}

bool untrack(const char *kind, const void *key)
{
	std::lock_guard<std::mutex> g(state_lock);
	auto it = tracking.find(kind);
	if (it == tracking.end())
		return false;
	return it->second.erase(key) > 0;
}

bool tracked(const char *kind, const void *key)
{
	std::lock_guard<std::mutex> g(state_lock);
	auto it = tracking.find(kind);
	return it != tracking.end() && it->second.count(key);
}

static void add_log_text(const char *text)
{
	std::lock_guard<std::mutex> g(state_lock);
	const char *p = text;
	while (*p) {
		if (partial_line.empty() && partial_level < 0 && p[0] == '\001' && p[1]) {
			if (p[1] != 'c')
				partial_level = p[1] - '0';
			p += 2;
			continue;
		}
		const char *nl = strchr(p, '\n');
		if (!nl) {
			partial_line += p;
			break;
		}
		partial_line.append(p, nl - p + 1);
		keep_line(partial_level, partial_line);
		if (st.log_echo)
			fprintf(stderr, "[k] %s", partial_line.c_str());
		partial_line.clear();
		partial_level = -1;
		p = nl + 1;
	}
}

} // namespace khost::detail

using namespace khost::detail;

namespace khost {

std::vector<LogLine> log_lines()
{
	std::lock_guard<std::mutex> g(state_lock);
	std::vector<LogLine> lines(log_store.begin(), log_store.end());
	if (!partial_line.empty())
		lines.push_back({partial_level, partial_line});
	return lines;
}

std::string log()
{
	std::string all;
	for (auto &l : log_lines())
		all += l.text;
	return all;
}

size_t log_count(const std::string &text)
{
	const std::string all = log();
	size_t n = 0;
	for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
		n++;
	return n;
}

void clear_log()
{
	std::lock_guard<std::mutex> g(state_lock);
	log_store.clear();
	st.log_bytes = 0;
	partial_line.clear();
	partial_level = -1;
}

void set_log_echo(bool on)
{
	std::lock_guard<std::mutex> g(state_lock);
	st.log_echo = on;
}

std::vector<std::string> faults()
{
	std::lock_guard<std::mutex> g(state_lock);
	return fault_store;
}

void clear_faults()
{
	std::lock_guard<std::mutex> g(state_lock);
	fault_store.clear();
}

std::vector<std::string> leaks()
{
	std::vector<std::string> out;
	std::lock_guard<std::mutex> g(state_lock);
	for (auto &[kind, items] : tracking)
		for (auto &[key, desc] : items)
			out.push_back(kind + ": " + desc);
	for (auto &[p, size] : allocations)
		out.push_back("allocation of " + std::to_string(size) + " bytes");
	return out;
}

void fail_kmalloc_after(int successes)
{
	std::lock_guard<std::mutex> g(state_lock);
	kmalloc_budget = successes;
}

} // namespace khost

extern "C" {

/* ---- log ---- */

int vprintk(const char *fmt, va_list args)
{
	char buf[2048];
	int n = vsnprintf(buf, sizeof(buf), fmt, args);
	add_log_text(buf);
	return n;
}

int printk(const char *fmt, ...)
{
	va_list ap;
	va_start(ap, fmt);
	int n = vprintk(fmt, ap);
	va_end(ap);
	return n;
}

int ___ratelimit(struct ratelimit_state *rs, const char *func)
{
	int interval = READ_ONCE(rs->interval);
	int burst = READ_ONCE(rs->burst);
	int ret;

	if (!interval)
		return 1;
	int unlocked = 0;
	if (!__atomic_compare_exchange_n(&rs->lock, &unlocked, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
		return 0;
	if (!rs->begin)
		rs->begin = jiffies;
	if (time_is_before_jiffies(rs->begin + interval)) {
		if (rs->missed) {
			printk(KERN_WARNING "%s: %d callbacks suppressed\n", func, rs->missed);
			rs->missed = 0;
		}
		rs->begin = jiffies;
		rs->printed = 0;
	}
	if (burst && burst > rs->printed) {
		rs->printed++;
		ret = 1;
	} else {
		rs->missed++;
		ret = 0;
	}
	__atomic_store_n(&rs->lock, 0, __ATOMIC_RELEASE);
	return ret;
}

static_assert(DEFAULT_RATELIMIT_INTERVAL == 5 * HZ, "the kernel's default interval");

int __printk_ratelimit(const char *func)
{
	static DEFINE_RATELIMIT_STATE(printk_ratelimit_state, DEFAULT_RATELIMIT_INTERVAL, DEFAULT_RATELIMIT_BURST);
	return ___ratelimit(&printk_ratelimit_state, func);
}

void dump_stack(void)
{
	printk(KERN_DEFAULT "Call trace: (host)\n");
}

void khost_fault(const char *file, int line, const char *fmt, ...)
{
	char buf[512];
	va_list ap;
	va_start(ap, fmt);
	vsnprintf(buf, sizeof(buf), fmt, ap);
	va_end(ap);
	fault(std::string(file) + ":" + std::to_string(line) + ": " + buf);
}

/* ---- contexts ---- */

void khost_might_sleep(const char *what)
{
	Ctx &c = ctx();
	if (atomic_ctx()) {
		std::string where = c.hardirq ? "interrupt" : c.softirq ? "timer" :
				    c.spin_held ? "spinlock" : c.irq_off ? "irqs-off" : "preempt-off";
		fault(std::string("sleeping call ") + what + " in atomic context (" + where + ")");
	}
}

bool khost_in_atomic(void) { return atomic_ctx(); }
bool khost_in_irq(void) { return ctx().hardirq > 0; }
bool khost_in_softirq(void) { return ctx().softirq > 0; }
bool khost_irqs_disabled(void) { return ctx().irq_off > 0 || ctx().hardirq > 0; }
void khost_local_irq_disable(void) { ctx().irq_off++; }
void khost_local_irq_enable(void)
{
	if (ctx().irq_off <= 0)
		fault("local_irq_enable with interrupts on");
	else
		ctx().irq_off--;
}
unsigned long khost_local_irq_save(void) { return (unsigned long)(ctx().irq_off++); }
void khost_local_irq_restore(unsigned long flags)
{
	Ctx &c = ctx();
	if (c.irq_off <= 0 || (unsigned long)(c.irq_off - 1) != flags)
		fault("local_irq_restore does not match local_irq_save");
	if (c.irq_off > 0)
		c.irq_off--;
}
void khost_preempt_disable(void) { ctx().preempt_off++; }
void khost_preempt_enable(void)
{
	if (ctx().preempt_off <= 0)
		fault("preempt_enable without preempt_disable");
	else
		ctx().preempt_off--;
}

struct task_struct *khost_current(void)
{
	Ctx &c = ctx();
	if (!c.task) {
		auto *t = new task_struct();
		std::lock_guard<std::mutex> g(state_lock);
		t->pid = t->tgid = ++pid_seq;
		if (snprintf(t->comm, sizeof(t->comm), "host-%d", t->pid) >= (int)sizeof(t->comm))
			t->comm[sizeof(t->comm) - 1] = '\0'; // cut like the kernel's task names
		c.task = t;
		c.own_task = true;
	}
	return c.task;
}

/* ---- credentials ---- */

struct user_namespace init_user_ns = { 0 };
} // extern "C"

namespace {
std::atomic<unsigned long long> g_caps{~0ULL};
} // namespace

void khost::set_caps(unsigned long long caps) { g_caps = caps; }

extern "C" {

namespace {
// One record per capability set that was ever current: files keep a pointer
// to their opener's, so none is ever freed or changed.
const struct cred *cred_for(unsigned long long caps)
{
	static std::mutex lock;
	static std::map<unsigned long long, struct cred> *creds = new std::map<unsigned long long, struct cred>();
	std::lock_guard<std::mutex> g(lock);
	auto it = creds->try_emplace(caps, cred{caps, &init_user_ns}).first;
	return &it->second;
}
bool has_cap(const struct cred *c, struct user_namespace *ns, int cap)
{
	/* Only the initial namespace exists here; a capability in it covers
	 * every namespace, as in the kernel. */
	(void)ns;
	return cap >= 0 && cap < 64 && (c->cap_effective >> cap & 1);
}
} // namespace

const struct cred *khost_current_cred(void) { return cred_for(g_caps.load()); }
bool capable(int cap) { return has_cap(khost_current_cred(), &init_user_ns, cap); }
bool ns_capable(struct user_namespace *ns, int cap) { return has_cap(khost_current_cred(), ns, cap); }
bool file_ns_capable(const struct file *file, struct user_namespace *ns, int cap)
{
	return has_cap(file->f_cred ? file->f_cred : khost_current_cred(), ns, cap);
}

/* ---- strings ---- */

ssize_t strscpy(char *dst, const char *src, size_t count)
{
	if (!count)
		return -E2BIG;
	size_t n = strnlen(src, count);
	if (n == count) {
		memcpy(dst, src, count - 1);
		dst[count - 1] = '\0';
		return -E2BIG;
	}
	memcpy(dst, src, n + 1);
	return (ssize_t)n;
}

size_t strlcpy(char *dst, const char *src, size_t size)
{
	size_t n = strlen(src);
	if (size) {
		size_t c = n >= size ? size - 1 : n;
		memcpy(dst, src, c);
		dst[c] = '\0';
	}
	return n;
}

char *skip_spaces(const char *s)
{
	while (isspace((unsigned char)*s))
		s++;
	return (char *)s;
}

char *strim(char *s)
{
	size_t n = strlen(s);
	while (n && isspace((unsigned char)s[n - 1]))
		s[--n] = '\0';
	return skip_spaces(s);
}

bool sysfs_streq(const char *a, const char *b)
{
	while (*a && *a == *b) {
		a++;
		b++;
	}
	if (*a == *b)
		return true;
	if (!*a && *b == '\n' && !b[1])
		return true;
	if (*a == '\n' && !a[1] && !*b)
		return true;
	return false;
}

const char *kbasename(const char *path)
{
	const char *tail = strrchr(path, '/');
	return tail ? tail + 1 : path;
}

int scnprintf(char *buf, size_t size, const char *fmt, ...)
{
	va_list ap;
	va_start(ap, fmt);
	int n = vscnprintf(buf, size, fmt, ap);
	va_end(ap);
	return n;
}

int vscnprintf(char *buf, size_t size, const char *fmt, va_list args)
{
	if (!size)
		return 0;
	int n = vsnprintf(buf, size, fmt, args);
	if (n < 0)
		return 0;
	return (size_t)n >= size ? (int)size - 1 : n;
}

/* The kernel's rules: optional sign for signed types, base 0 detects 0x and
 * 0, one trailing newline allowed, nothing else after the digits. */
static int parse_ull(const char *s, unsigned int base, unsigned long long *res, bool *neg, bool allow_neg)
{
	*neg = false;
	if (*s == '+')
		s++;
	else if (*s == '-' && allow_neg) {
		*neg = true;
		s++;
	}
	if (base == 0) {
		if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && isxdigit((unsigned char)s[2])) {
			base = 16;
			s += 2;
		} else if (s[0] == '0') {
			base = 8;
		} else {
			base = 10;
		}
	} else if (base == 16 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
		s += 2;
	}
	unsigned long long v = 0;
	int digits = 0;
	for (; *s; s++) {
		int d;
		unsigned char c = (unsigned char)*s;
		if (c >= '0' && c <= '9')
			d = c - '0';
		else if (c >= 'a' && c <= 'z')
			d = c - 'a' + 10;
		else if (c >= 'A' && c <= 'Z')
			d = c - 'A' + 10;
		else
			break;
		if (d >= (int)base)
			break;
		if (v > (ULLONG_MAX - d) / base)
			return -ERANGE;
		v = v * base + d;
		digits++;
	}
	if (!digits)
		return -EINVAL;
	if (*s == '\n')
		s++;
	if (*s)
		return -EINVAL;
	*res = v;
	return 0;
}

#define KSTRTOU(name, type, maxv) \
	int name(const char *s, unsigned int base, type *res) \
	{ \
		unsigned long long v; bool neg; \
		int r = parse_ull(s, base, &v, &neg, false); \
		if (r) return r; \
		if (v > (unsigned long long)(maxv)) return -ERANGE; \
		*res = (type)v; return 0; \
	}
#define KSTRTOS(name, type, minv, maxv) \
	int name(const char *s, unsigned int base, type *res) \
	{ \
		unsigned long long v; bool neg; \
		int r = parse_ull(s, base, &v, &neg, true); \
		if (r) return r; \
		if (neg) { if (v > (unsigned long long)(-((minv) + 1)) + 1) return -ERANGE; *res = (type)(0 - v); } \
		else { if (v > (unsigned long long)(maxv)) return -ERANGE; *res = (type)v; } \
		return 0; \
	}
KSTRTOU(kstrtouint, unsigned int, UINT_MAX)
KSTRTOU(kstrtou32, u32, UINT_MAX)
KSTRTOU(kstrtoul, unsigned long, ULONG_MAX)
KSTRTOU(kstrtou64, u64, ULLONG_MAX)
KSTRTOU(kstrtou16, u16, 0xffff)
KSTRTOU(kstrtou8, u8, 0xff)
KSTRTOS(kstrtoint, int, INT_MIN, INT_MAX)
KSTRTOS(kstrtos32, s32, INT_MIN, INT_MAX)
KSTRTOS(kstrtol, long, LONG_MIN, LONG_MAX)
KSTRTOS(kstrtos64, s64, LLONG_MIN, LLONG_MAX)

int kstrtobool(const char *s, bool *res)
{
	if (!s)
		return -EINVAL;
	switch (s[0]) {
	case 'y': case 'Y': case 't': case 'T': case '1':
		*res = true;
		return 0;
	case 'n': case 'N': case 'f': case 'F': case '0':
		*res = false;
		return 0;
	case 'o': case 'O':
		if (s[1] == 'n' || s[1] == 'N') { *res = true; return 0; }
		if (s[1] == 'f' || s[1] == 'F') { *res = false; return 0; }
		break;
	}
	return -EINVAL;
}

int kstrtouint_from_user(const char *s, size_t count, unsigned int base, unsigned int *res)
{
	char buf[64];
	count = count < sizeof(buf) - 1 ? count : sizeof(buf) - 1;
	if (copy_from_user(buf, s, count))
		return -EFAULT;
	buf[count] = '\0';
	return kstrtouint(buf, base, res);
}

int kstrtoint_from_user(const char *s, size_t count, unsigned int base, int *res)
{
	char buf[64];
	count = count < sizeof(buf) - 1 ? count : sizeof(buf) - 1;
	if (copy_from_user(buf, s, count))
		return -EFAULT;
	buf[count] = '\0';
	return kstrtoint(buf, base, res);
}

unsigned long simple_strtoul(const char *cp, char **endp, unsigned int base)
{
	return strtoul(cp, endp, (int)base);
}

long simple_strtol(const char *cp, char **endp, unsigned int base)
{
	return strtol(cp, endp, (int)base);
}

/* ---- allocations ---- */

static void *alloc_tracked(size_t size, gfp_t flags, bool zero)
{
	if (!(flags & (GFP_ATOMIC | GFP_NOWAIT)))
		khost_might_sleep("kmalloc(GFP_KERNEL)");
	{
		std::lock_guard<std::mutex> g(state_lock);
		if (kmalloc_budget == 0)
			return nullptr;
		if (kmalloc_budget > 0)
			kmalloc_budget--;
	}
	if (!size)
		return ZERO_SIZE_PTR;
	void *p = zero || (flags & __GFP_ZERO) ? calloc(1, size) : malloc(size);
	if (!p)
		return nullptr;
	if (!zero && !(flags & __GFP_ZERO))
		memset(p, 0xa5, size);	/* the kernel never hands out zeroes for free */
	std::lock_guard<std::mutex> g(state_lock);
	allocations[p] = size;
	return p;
}

void *kmalloc(size_t size, gfp_t flags) { return alloc_tracked(size, flags, false); }
void *kzalloc(size_t size, gfp_t flags) { return alloc_tracked(size, flags, true); }
void *kcalloc(size_t n, size_t size, gfp_t flags)
{
	if (size && n > SIZE_MAX / size)
		return nullptr;
	return alloc_tracked(n * size, flags, true);
}
void *kmalloc_array(size_t n, size_t size, gfp_t flags)
{
	if (size && n > SIZE_MAX / size)
		return nullptr;
	return alloc_tracked(n * size, flags, false);
}

void kfree(const void *p)
{
	if (ZERO_OR_NULL_PTR(p))
		return;
	{
		std::lock_guard<std::mutex> g(state_lock);
		auto it = allocations.find(p);
		if (it == allocations.end()) {
			fault_store.push_back("kfree of memory not from kmalloc (or freed twice)");
			fprintf(stderr, "khost fault: kfree of %p not allocated\n", p);
			return;
		}
		/* Poisoned as slab debugging does: a use after free reads garbage, not the old data. */
		memset(const_cast<void *>(p), 0x6b, it->second);
		allocations.erase(it);
	}
	free(const_cast<void *>(p));
}

void kfree_sensitive(const void *p) { kfree(p); }

size_t ksize(const void *p)
{
	std::lock_guard<std::mutex> g(state_lock);
	auto it = allocations.find(p);
	return it == allocations.end() ? 0 : it->second;
}

/* vmalloc memory is mapped page by page outside the linear map. */
static std::set<const void *> &vmalloc_areas()
{
	static auto *s = new std::set<const void *>();
	return *s;
}

/* The allocation holding p, or allocations.end(). Caller holds state_lock. */
static std::map<const void *, size_t>::iterator allocation_of(const void *p)
{
	auto it = allocations.upper_bound(p);
	if (it == allocations.begin())
		return allocations.end();
	--it;
	return (const char *)p < (const char *)it->first + it->second ? it : allocations.end();
}

/* kmalloc memory lies in the kernel's linear map. */
bool khost_in_kmalloc(const void *p)
{
	std::lock_guard<std::mutex> g(state_lock);
	auto it = allocation_of(p);
	return it != allocations.end() && !vmalloc_areas().count(it->first);
}

bool khost_is_vmalloc_addr(const void *p)
{
	std::lock_guard<std::mutex> g(state_lock);
	auto it = allocation_of(p);
	return it != allocations.end() && vmalloc_areas().count(it->first);
}

/* The kernel stack of the running task: the calling thread's own. */
int khost_object_is_on_stack(const void *obj)
{
	pthread_attr_t a;
	void *base;
	size_t size;
	if (pthread_getattr_np(pthread_self(), &a))
		return 0;
	int r = !pthread_attr_getstack(&a, &base, &size) && obj >= base && (const char *)obj < (const char *)base + size;
	pthread_attr_destroy(&a);
	return r;
}

void *krealloc(const void *p, size_t size, gfp_t flags)
{
	size_t old = ZERO_OR_NULL_PTR(p) ? 0 : ksize(p);
	void *n = kmalloc(size, flags);
	if (!n)
		return nullptr;
	if (old && !ZERO_OR_NULL_PTR(n))
		memcpy(n, p, old < size ? old : size);
	kfree(p);
	return n;
}

void *kmemdup(const void *src, size_t len, gfp_t flags)
{
	void *p = kmalloc(len, flags);
	if (p && !ZERO_OR_NULL_PTR(p))
		memcpy(p, src, len);
	return p;
}

char *kstrdup(const char *s, gfp_t flags)
{
	return s ? (char *)kmemdup(s, strlen(s) + 1, flags) : nullptr;
}

char *kstrndup(const char *s, size_t max, gfp_t flags)
{
	if (!s)
		return nullptr;
	size_t n = strnlen(s, max);
	char *p = (char *)kmalloc(n + 1, flags);
	if (p) {
		memcpy(p, s, n);
		p[n] = '\0';
	}
	return p;
}

char *kasprintf(gfp_t gfp, const char *fmt, ...)
{
	va_list ap;
	va_start(ap, fmt);
	int n = vsnprintf(nullptr, 0, fmt, ap);
	va_end(ap);
	char *p = (char *)kmalloc(n + 1, gfp);
	if (!p)
		return nullptr;
	va_start(ap, fmt);
	vsnprintf(p, n + 1, fmt, ap);
	va_end(ap);
	return p;
}

static void *vmalloc_area(void *p)
{
	if (!ZERO_OR_NULL_PTR(p)) {
		std::lock_guard<std::mutex> g(state_lock);
		vmalloc_areas().insert(p);
	}
	return p;
}
void *vmalloc(unsigned long size) { return vmalloc_area(kmalloc(size, GFP_KERNEL)); }
void *vzalloc(unsigned long size) { return vmalloc_area(kzalloc(size, GFP_KERNEL)); }
void vfree(const void *p)
{
	{
		std::lock_guard<std::mutex> g(state_lock);
		vmalloc_areas().erase(p);
	}
	kfree(p);
}
void *kvmalloc(size_t size, gfp_t flags) { return kmalloc(size, flags); }
void *kvzalloc(size_t size, gfp_t flags) { return kzalloc(size, flags); }
void *kvcalloc(size_t n, size_t size, gfp_t flags) { return kcalloc(n, size, flags); }
void kvfree(const void *p) { vfree(p); }

} // extern "C"
