/*
 * Host kernel: types, compiler helpers, errors, logging, strings, lists and
 * atomics, as the kernel's own headers define them. Driver sources see only
 * these headers (they are compiled with -nostdinc).
 */
#ifndef KHOST_BASE_H
#define KHOST_BASE_H

#include <stddef.h>
#include <stdarg.h>
#include <stdbool.h>
#ifdef __cplusplus
/* The test side is ordinary C++ on the host C library. */
#include <sys/types.h>
#include <cstring>
#include <cstdio>
#include <climits>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef __INT8_TYPE__ s8;
typedef __UINT8_TYPE__ u8;
typedef __INT16_TYPE__ s16;
typedef __UINT16_TYPE__ u16;
typedef __INT32_TYPE__ s32;
typedef __UINT32_TYPE__ u32;
/* As in the kernel, 64-bit types are long long on every architecture. */
typedef signed long long s64;
typedef unsigned long long u64;
typedef s8 __s8;
typedef u8 __u8;
typedef s16 __s16;
typedef u16 __u16;
typedef s32 __s32;
typedef u32 __u32;
typedef s64 __s64;
typedef u64 __u64;
typedef u16 __le16;
typedef u32 __le32;
typedef u64 __le64;
typedef u16 __be16;
typedef u32 __be32;
typedef u64 __be64;
#ifndef __cplusplus
typedef __INT8_TYPE__ int8_t;
typedef __UINT8_TYPE__ uint8_t;
typedef __INT16_TYPE__ int16_t;
typedef __UINT16_TYPE__ uint16_t;
typedef __INT32_TYPE__ int32_t;
typedef __UINT32_TYPE__ uint32_t;
typedef s64 int64_t;
typedef u64 uint64_t;
typedef __UINTPTR_TYPE__ uintptr_t;
#endif
typedef u32 khost_dev_t;
#ifndef __cplusplus
typedef long ssize_t;
typedef long long loff_t;
typedef int pid_t;
typedef khost_dev_t dev_t;
#endif
typedef unsigned short umode_t;
typedef unsigned int gfp_t;
typedef u64 phys_addr_t;
typedef u64 dma_addr_t;
typedef u64 resource_size_t;
typedef unsigned int fmode_t;
typedef s64 ktime_t;
typedef u32 compat_uptr_t;
typedef s32 compat_int_t;
typedef u32 compat_uint_t;
typedef s32 compat_long_t;
typedef u32 compat_ulong_t;
typedef u64 compat_u64;

#define __user
#define __iomem
#define __force
#define __must_check __attribute__((warn_unused_result))
#ifndef __cplusplus
#define __init
#define __exit
#define __initdata
#define __exitdata
#endif
#define __read_mostly
#define __always_unused __attribute__((unused))
#define __maybe_unused __attribute__((unused))
#define __used __attribute__((used))
#define __packed __attribute__((packed))
#define __aligned(x) __attribute__((aligned(x)))
#define __printf(a, b) __attribute__((format(printf, a, b)))
#define __weak __attribute__((weak))
#define __cold __attribute__((cold))
#define noinline __attribute__((noinline))
#ifndef __always_inline
#define __always_inline inline __attribute__((always_inline))
#endif
#define likely(x) __builtin_expect(!!(x), 1)
#define unlikely(x) __builtin_expect(!!(x), 0)
#define fallthrough __attribute__((fallthrough))
#define barrier() __asm__ __volatile__("" ::: "memory")
#define mb() __sync_synchronize()
#define rmb() __sync_synchronize()
#define wmb() __sync_synchronize()
#define smp_mb() __sync_synchronize()
#define smp_rmb() __sync_synchronize()
#define smp_wmb() __sync_synchronize()
#define dsb(x) __sync_synchronize()
#define cpu_relax() barrier()

#define READ_ONCE(x) (*(const volatile __typeof__(x) *)&(x))
#define WRITE_ONCE(x, val) do { *(volatile __typeof__(x) *)&(x) = (val); } while (0)

#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))
#define container_of(ptr, type, member) \
	((type *)((char *)(ptr) - offsetof(type, member)))
#define BUILD_BUG_ON(cond) _Static_assert(!(cond), "BUILD_BUG_ON: " #cond)
#define BUILD_BUG_ON_ZERO(e) 0
#ifndef __cplusplus
#define static_assert(expr, ...) _Static_assert(expr, #expr)
#endif

#ifndef __cplusplus
#define min(a, b) ({ __typeof__(a) _a = (a); __typeof__(b) _b = (b); _a < _b ? _a : _b; })
#define max(a, b) ({ __typeof__(a) _a = (a); __typeof__(b) _b = (b); _a > _b ? _a : _b; })
#define min_t(t, a, b) ({ t _a = (a); t _b = (b); _a < _b ? _a : _b; })
#define max_t(t, a, b) ({ t _a = (a); t _b = (b); _a > _b ? _a : _b; })
#define clamp(v, lo, hi) min(max(v, lo), hi)
#define clamp_t(t, v, lo, hi) min_t(t, max_t(t, v, lo), hi)
#define swap(a, b) do { __typeof__(a) _t = (a); (a) = (b); (b) = _t; } while (0)
#define abs(x) __builtin_abs(x)
#endif
#define DIV_ROUND_UP(n, d) (((n) + (d) - 1) / (d))
#define roundup(x, y) ((((x) + ((y) - 1)) / (y)) * (y))
#define rounddown(x, y) ((x) - ((x) % (y)))
#define ALIGN(x, a) (((x) + ((__typeof__(x))(a) - 1)) & ~((__typeof__(x))(a) - 1))
#define ALIGN_DOWN(x, a) ((x) & ~((__typeof__(x))(a) - 1))
#define IS_ALIGNED(x, a) (((x) & ((__typeof__(x))(a) - 1)) == 0)
#define round_up(x, y) ((((x) - 1) | ((__typeof__(x))((y) - 1))) + 1)
#define round_down(x, y) ((x) & ~((__typeof__(x))((y) - 1)))
#define lower_32_bits(n) ((u32)((n) & 0xffffffff))
#define upper_32_bits(n) ((u32)(((n) >> 16) >> 16))
#define BIT(n) (1UL << (n))
#define BIT_ULL(n) (1ULL << (n))
#define GENMASK(h, l) (((~0UL) - (1UL << (l)) + 1) & (~0UL >> (63 - (h))))
#define do_div(n, base) ({ u32 _b = (base); u32 _r = (u32)((n) % _b); (n) /= _b; _r; })
#define U8_MAX 0xff
#define U16_MAX 0xffff
#define U32_MAX 0xffffffffU
#define S32_MAX 0x7fffffff
#define S32_MIN (-S32_MAX - 1)
#define U64_MAX 0xffffffffffffffffULL
#ifndef __cplusplus
#define INT_MAX 0x7fffffff
#define INT_MIN (-INT_MAX - 1)
#define UINT_MAX 0xffffffffU
#define LONG_MAX 0x7fffffffffffffffL
#define LONG_MIN (-LONG_MAX - 1)
#define ULONG_MAX (~0UL)
#define SIZE_MAX (~(size_t)0)
#endif
/* As the kernel's kconfig.h: an option is on when its macro is defined to 1. */
#define __KHOST_PLACEHOLDER_1 0,
#define __khost_second(ignored, val, ...) val
#define __khost_defined(x) ___khost_defined(x)
#define ___khost_defined(val) ____khost_defined(__KHOST_PLACEHOLDER_##val)
#define ____khost_defined(arg1_or_junk) __khost_second(arg1_or_junk 1, 0)
#define IS_BUILTIN(opt) __khost_defined(opt)
#define IS_MODULE(opt) __khost_defined(opt##_MODULE)
#define IS_ENABLED(opt) (IS_BUILTIN(opt) || IS_MODULE(opt))

static inline u64 div_u64(u64 n, u32 d) { return n / d; }
static inline s64 div_s64(s64 n, s32 d) { return n / d; }
static inline u64 div64_u64(u64 n, u64 d) { return n / d; }

/* ---- errors ---- */
#define EPERM 1
#define ENOENT 2
#define ESRCH 3
#define EINTR 4
#define EIO 5
#define ENXIO 6
#define E2BIG 7
#define ENOEXEC 8
#define EBADF 9
#define EAGAIN 11
#define ENOMEM 12
#define EACCES 13
#define EFAULT 14
#define EBUSY 16
#define EEXIST 17
#define ENODEV 19
#define ENOTDIR 20
#define EINVAL 22
#define ENFILE 23
#define EMFILE 24
#define ENOTTY 25
#define EFBIG 27
#define ENOSPC 28
#define ESPIPE 29
#define EROFS 30
#define EPIPE 32
#define EDOM 33
#define ERANGE 34
#define EILSEQ 84
#define EDEADLK 35
#define ENAMETOOLONG 36
#define ELOOP 40
#define ENOSYS 38
#define ENODATA 61
#define ETIME 62
#define EOVERFLOW 75
#define EBADMSG 74
#define EOPNOTSUPP 95
#define ESHUTDOWN 108
#define ETIMEDOUT 110
#define ECANCELED 125
#define ERESTARTSYS 512
#define ENOIOCTLCMD 515
#define ENOTSUPP 524
#define EWOULDBLOCK EAGAIN
#define MAX_ERRNO 4095

#define IS_ERR_VALUE(x) unlikely((unsigned long)(void *)(x) >= (unsigned long)-MAX_ERRNO)
static inline void *ERR_PTR(long error) { return (void *)error; }
static inline long PTR_ERR(const void *ptr) { return (long)ptr; }
static inline bool IS_ERR(const void *ptr) { return IS_ERR_VALUE((unsigned long)ptr); }
static inline bool IS_ERR_OR_NULL(const void *ptr) { return !ptr || IS_ERR(ptr); }
static inline int PTR_ERR_OR_ZERO(const void *ptr) { return IS_ERR(ptr) ? (int)PTR_ERR(ptr) : 0; }
#define ERR_CAST(ptr) ((void *)(ptr))

/* ---- logging ---- */
#define KERN_SOH "\001"
#define KERN_EMERG KERN_SOH "0"
#define KERN_ALERT KERN_SOH "1"
#define KERN_CRIT KERN_SOH "2"
#define KERN_ERR KERN_SOH "3"
#define KERN_WARNING KERN_SOH "4"
#define KERN_NOTICE KERN_SOH "5"
#define KERN_INFO KERN_SOH "6"
#define KERN_DEBUG KERN_SOH "7"
#define KERN_DEFAULT ""
#define KERN_CONT KERN_SOH "c"

int printk(const char *fmt, ...) __printf(1, 2);
int vprintk(const char *fmt, va_list args);
void dump_stack(void);
#ifndef pr_fmt
#define pr_fmt(fmt) fmt
#endif
#define pr_emerg(fmt, ...) printk(KERN_EMERG pr_fmt(fmt), ##__VA_ARGS__)
#define pr_alert(fmt, ...) printk(KERN_ALERT pr_fmt(fmt), ##__VA_ARGS__)
#define pr_crit(fmt, ...) printk(KERN_CRIT pr_fmt(fmt), ##__VA_ARGS__)
#define pr_err(fmt, ...) printk(KERN_ERR pr_fmt(fmt), ##__VA_ARGS__)
#define pr_warn(fmt, ...) printk(KERN_WARNING pr_fmt(fmt), ##__VA_ARGS__)
#define pr_warning pr_warn
#define pr_notice(fmt, ...) printk(KERN_NOTICE pr_fmt(fmt), ##__VA_ARGS__)
#define pr_info(fmt, ...) printk(KERN_INFO pr_fmt(fmt), ##__VA_ARGS__)
#define pr_cont(fmt, ...) printk(KERN_CONT fmt, ##__VA_ARGS__)
#define pr_debug(fmt, ...) printk(KERN_DEBUG pr_fmt(fmt), ##__VA_ARGS__)
/* Rate limits as lib/ratelimit.c keeps them: at most burst lines in each
 * interval of jiffies, the suppressed count reported when the next interval
 * starts. The bed's jiffies run fast, so an interval passes in milliseconds
 * of a test that sleeps; a tight loop stays inside one. */
struct ratelimit_state {
	int lock;
	int interval;
	int burst;
	int printed;
	int missed;
	unsigned long begin;
};
#define DEFAULT_RATELIMIT_INTERVAL (5 * 250)
#define DEFAULT_RATELIMIT_BURST 10
#define RATELIMIT_STATE_INIT(name, interval_init, burst_init) \
	{ .lock = 0, .interval = (interval_init), .burst = (burst_init), .printed = 0, .missed = 0, .begin = 0 }
#define DEFINE_RATELIMIT_STATE(name, interval_init, burst_init) \
	struct ratelimit_state name = RATELIMIT_STATE_INIT(name, interval_init, burst_init)
static inline void ratelimit_state_init(struct ratelimit_state *rs, int interval, int burst)
{
	struct ratelimit_state init = RATELIMIT_STATE_INIT(init, interval, burst);
	*rs = init;
}
int ___ratelimit(struct ratelimit_state *rs, const char *func);
#define __ratelimit(state) ___ratelimit(state, __func__)
int __printk_ratelimit(const char *func);
#define printk_ratelimit() __printk_ratelimit(__func__)
#define printk_ratelimited(fmt, ...) ({ \
	static DEFINE_RATELIMIT_STATE(_rs, DEFAULT_RATELIMIT_INTERVAL, DEFAULT_RATELIMIT_BURST); \
	if (__ratelimit(&_rs)) \
		printk(fmt, ##__VA_ARGS__); \
})
#define pr_err_ratelimited(fmt, ...) printk_ratelimited(KERN_ERR pr_fmt(fmt), ##__VA_ARGS__)
#define pr_warn_ratelimited(fmt, ...) printk_ratelimited(KERN_WARNING pr_fmt(fmt), ##__VA_ARGS__)
#define pr_info_ratelimited(fmt, ...) printk_ratelimited(KERN_INFO pr_fmt(fmt), ##__VA_ARGS__)

/* A kernel WARN or BUG: logged and recorded as a fault of the test. */
void khost_fault(const char *file, int line, const char *fmt, ...) __printf(3, 4);
#define WARN_ON(cond) ({ bool _c = !!(cond); if (unlikely(_c)) khost_fault(__FILE__, __LINE__, "WARN_ON(%s)", #cond); unlikely(_c); })
#define WARN_ON_ONCE(cond) WARN_ON(cond)
#define WARN(cond, fmt, ...) ({ bool _c = !!(cond); if (unlikely(_c)) khost_fault(__FILE__, __LINE__, fmt, ##__VA_ARGS__); unlikely(_c); })
#define WARN_ONCE WARN
#define BUG() do { khost_fault(__FILE__, __LINE__, "BUG()"); __builtin_trap(); } while (0)
#define BUG_ON(cond) do { if (unlikely(cond)) { khost_fault(__FILE__, __LINE__, "BUG_ON(%s)", #cond); __builtin_trap(); } } while (0)

/* ---- strings (the C library's for the standard ones) ---- */
#ifndef __cplusplus
void *memcpy(void *dst, const void *src, size_t n);
void *memmove(void *dst, const void *src, size_t n);
void *memset(void *s, int c, size_t n);
int memcmp(const void *a, const void *b, size_t n);
void *memchr(const void *s, int c, size_t n);
size_t strlen(const char *s);
size_t strnlen(const char *s, size_t n);
int strcmp(const char *a, const char *b);
int strncmp(const char *a, const char *b, size_t n);
int strcasecmp(const char *a, const char *b);
int strncasecmp(const char *a, const char *b, size_t n);
char *strcpy(char *dst, const char *src);
char *strncpy(char *dst, const char *src, size_t n);
char *strcat(char *dst, const char *src);
char *strncat(char *dst, const char *src, size_t n);
char *strchr(const char *s, int c);
char *strrchr(const char *s, int c);
char *strstr(const char *h, const char *n);
char *strsep(char **s, const char *delim);
size_t strspn(const char *s, const char *accept);
size_t strcspn(const char *s, const char *reject);
int snprintf(char *buf, size_t size, const char *fmt, ...) __printf(3, 4);
int vsnprintf(char *buf, size_t size, const char *fmt, va_list args);
int sprintf(char *buf, const char *fmt, ...) __printf(2, 3);
int sscanf(const char *buf, const char *fmt, ...);
#endif
int scnprintf(char *buf, size_t size, const char *fmt, ...) __printf(3, 4);
int vscnprintf(char *buf, size_t size, const char *fmt, va_list args);
char *kasprintf(gfp_t gfp, const char *fmt, ...) __printf(2, 3);
ssize_t strscpy(char *dst, const char *src, size_t count);
size_t strlcpy(char *dst, const char *src, size_t size);
char *strim(char *s);
char *skip_spaces(const char *s);
bool sysfs_streq(const char *a, const char *b);
const char *kbasename(const char *path);
int kstrtoint(const char *s, unsigned int base, int *res);
int kstrtouint(const char *s, unsigned int base, unsigned int *res);
int kstrtou32(const char *s, unsigned int base, u32 *res);
int kstrtos32(const char *s, unsigned int base, s32 *res);
int kstrtol(const char *s, unsigned int base, long *res);
int kstrtoul(const char *s, unsigned int base, unsigned long *res);
int kstrtou64(const char *s, unsigned int base, u64 *res);
int kstrtos64(const char *s, unsigned int base, s64 *res);
int kstrtou16(const char *s, unsigned int base, u16 *res);
int kstrtou8(const char *s, unsigned int base, u8 *res);
int kstrtobool(const char *s, bool *res);
int kstrtouint_from_user(const char __user *s, size_t count, unsigned int base, unsigned int *res);
int kstrtoint_from_user(const char __user *s, size_t count, unsigned int base, int *res);
unsigned long simple_strtoul(const char *cp, char **endp, unsigned int base);
long simple_strtol(const char *cp, char **endp, unsigned int base);
#ifndef __cplusplus
#define isspace(c) __builtin_isspace(c)
#define isdigit(c) ((unsigned)((c) - '0') < 10)
#define isxdigit(c) __builtin_isxdigit(c)
#define isalpha(c) __builtin_isalpha(c)
#define isprint(c) __builtin_isprint(c)
#define tolower(c) __builtin_tolower(c)
#define toupper(c) __builtin_toupper(c)
#endif

/* ---- lists ---- */
struct list_head {
	struct list_head *next, *prev;
};
#define LIST_HEAD_INIT(name) { &(name), &(name) }
#define LIST_HEAD(name) struct list_head name = LIST_HEAD_INIT(name)
static inline void INIT_LIST_HEAD(struct list_head *l) { l->next = l; l->prev = l; }
static inline void __list_add(struct list_head *n, struct list_head *prev, struct list_head *next)
{
	next->prev = n;
	n->next = next;
	n->prev = prev;
	prev->next = n;
}
static inline void list_add(struct list_head *n, struct list_head *head) { __list_add(n, head, head->next); }
static inline void list_add_tail(struct list_head *n, struct list_head *head) { __list_add(n, head->prev, head); }
static inline void list_del(struct list_head *e)
{
	e->next->prev = e->prev;
	e->prev->next = e->next;
	e->next = (struct list_head *)0x100;
	e->prev = (struct list_head *)0x122;
}
static inline void list_del_init(struct list_head *e)
{
	e->next->prev = e->prev;
	e->prev->next = e->next;
	INIT_LIST_HEAD(e);
}
static inline void list_move_tail(struct list_head *e, struct list_head *head)
{
	list_del_init(e);
	list_add_tail(e, head);
}
static inline int list_empty(const struct list_head *h) { return READ_ONCE(h->next) == h; }
#define list_entry(ptr, type, member) container_of(ptr, type, member)
#define list_first_entry(ptr, type, member) list_entry((ptr)->next, type, member)
#define list_first_entry_or_null(ptr, type, member) \
	(list_empty(ptr) ? NULL : list_first_entry(ptr, type, member))
#define list_last_entry(ptr, type, member) list_entry((ptr)->prev, type, member)
#define list_next_entry(pos, member) list_entry((pos)->member.next, __typeof__(*(pos)), member)
#define list_for_each(pos, head) for (pos = (head)->next; pos != (head); pos = pos->next)
#define list_for_each_safe(pos, n, head) \
	for (pos = (head)->next, n = pos->next; pos != (head); pos = n, n = pos->next)
#define list_for_each_entry(pos, head, member) \
	for (pos = list_first_entry(head, __typeof__(*pos), member); &pos->member != (head); \
	     pos = list_next_entry(pos, member))
#define list_for_each_entry_safe(pos, n, head, member) \
	for (pos = list_first_entry(head, __typeof__(*pos), member), n = list_next_entry(pos, member); \
	     &pos->member != (head); pos = n, n = list_next_entry(n, member))

/* ---- atomics ---- */
typedef struct { int counter; } atomic_t;
typedef struct { long counter; } atomic64_t;
typedef struct { int refs; } refcount_t;
#define ATOMIC_INIT(i) { (i) }
static inline int atomic_read(const atomic_t *v) { return __atomic_load_n(&v->counter, __ATOMIC_SEQ_CST); }
static inline void atomic_set(atomic_t *v, int i) { __atomic_store_n(&v->counter, i, __ATOMIC_SEQ_CST); }
static inline int atomic_add_return(int i, atomic_t *v) { return __atomic_add_fetch(&v->counter, i, __ATOMIC_SEQ_CST); }
static inline int atomic_sub_return(int i, atomic_t *v) { return __atomic_sub_fetch(&v->counter, i, __ATOMIC_SEQ_CST); }
static inline void atomic_add(int i, atomic_t *v) { atomic_add_return(i, v); }
static inline void atomic_sub(int i, atomic_t *v) { atomic_sub_return(i, v); }
static inline void atomic_inc(atomic_t *v) { atomic_add_return(1, v); }
static inline void atomic_dec(atomic_t *v) { atomic_sub_return(1, v); }
static inline int atomic_inc_return(atomic_t *v) { return atomic_add_return(1, v); }
static inline int atomic_dec_return(atomic_t *v) { return atomic_sub_return(1, v); }
static inline bool atomic_dec_and_test(atomic_t *v) { return atomic_sub_return(1, v) == 0; }
static inline bool atomic_inc_and_test(atomic_t *v) { return atomic_add_return(1, v) == 0; }
static inline int atomic_xchg(atomic_t *v, int n) { return __atomic_exchange_n(&v->counter, n, __ATOMIC_SEQ_CST); }
static inline int atomic_cmpxchg(atomic_t *v, int o, int n)
{
	__atomic_compare_exchange_n(&v->counter, &o, n, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
	return o;
}
static inline long atomic64_read(const atomic64_t *v) { return __atomic_load_n(&v->counter, __ATOMIC_SEQ_CST); }
static inline void atomic64_set(atomic64_t *v, long i) { __atomic_store_n(&v->counter, i, __ATOMIC_SEQ_CST); }
static inline long atomic64_inc_return(atomic64_t *v) { return __atomic_add_fetch(&v->counter, 1, __ATOMIC_SEQ_CST); }
static inline void atomic64_add(long i, atomic64_t *v) { __atomic_add_fetch(&v->counter, i, __ATOMIC_SEQ_CST); }
#define xchg(p, n) __atomic_exchange_n((p), (n), __ATOMIC_SEQ_CST)
#define cmpxchg(p, o, n) ({ __typeof__(*(p)) _o = (o); \
	__atomic_compare_exchange_n((p), &_o, (n), false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST); _o; })
static inline void refcount_set(refcount_t *r, int n) { __atomic_store_n(&r->refs, n, __ATOMIC_SEQ_CST); }
static inline unsigned int refcount_read(const refcount_t *r) { return __atomic_load_n(&r->refs, __ATOMIC_SEQ_CST); }
static inline void refcount_inc(refcount_t *r) { __atomic_add_fetch(&r->refs, 1, __ATOMIC_SEQ_CST); }
static inline bool refcount_dec_and_test(refcount_t *r) { return __atomic_sub_fetch(&r->refs, 1, __ATOMIC_SEQ_CST) == 0; }
struct kref { refcount_t refcount; };
static inline void kref_init(struct kref *k) { refcount_set(&k->refcount, 1); }
static inline unsigned int kref_read(const struct kref *k) { return refcount_read(&k->refcount); }
static inline void kref_get(struct kref *k) { refcount_inc(&k->refcount); }
static inline int kref_put(struct kref *k, void (*release)(struct kref *k))
{
	if (refcount_dec_and_test(&k->refcount)) {
		release(k);
		return 1;
	}
	return 0;
}

/* ---- bit operations ---- */
static inline void set_bit(long nr, volatile unsigned long *addr)
{ __atomic_or_fetch(&addr[nr / 64], 1UL << (nr % 64), __ATOMIC_SEQ_CST); }
static inline void clear_bit(long nr, volatile unsigned long *addr)
{ __atomic_and_fetch(&addr[nr / 64], ~(1UL << (nr % 64)), __ATOMIC_SEQ_CST); }
static inline bool test_bit(long nr, const volatile unsigned long *addr)
{ return (addr[nr / 64] >> (nr % 64)) & 1; }
static inline bool test_and_set_bit(long nr, volatile unsigned long *addr)
{ return (__atomic_fetch_or(&addr[nr / 64], 1UL << (nr % 64), __ATOMIC_SEQ_CST) >> (nr % 64)) & 1; }
static inline bool test_and_clear_bit(long nr, volatile unsigned long *addr)
{ return (__atomic_fetch_and(&addr[nr / 64], ~(1UL << (nr % 64)), __ATOMIC_SEQ_CST) >> (nr % 64)) & 1; }
#define BITS_PER_LONG 64
#define BITS_TO_LONGS(n) DIV_ROUND_UP(n, BITS_PER_LONG)
#define DECLARE_BITMAP(name, bits) unsigned long name[BITS_TO_LONGS(bits)]
static inline int fls(unsigned int x) { return x ? 32 - __builtin_clz(x) : 0; }
#ifndef __cplusplus
static inline int ffs(int x) { return __builtin_ffs(x); }
#endif
static inline unsigned long __ffs(unsigned long x) { return __builtin_ctzl(x); }
static inline int hweight32(u32 w) { return __builtin_popcount(w); }
static inline bool is_power_of_2(unsigned long n) { return n != 0 && ((n & (n - 1)) == 0); }
static inline int ilog2(unsigned long n) { return 63 - __builtin_clzl(n); }
static inline u32 swab32(u32 x) { return __builtin_bswap32(x); }
static inline u16 swab16(u16 x) { return __builtin_bswap16(x); }
#define cpu_to_be32(x) __builtin_bswap32(x)
#define be32_to_cpu(x) __builtin_bswap32(x)
#define cpu_to_be64(x) __builtin_bswap64(x)
#define be64_to_cpu(x) __builtin_bswap64(x)
#define cpu_to_be16(x) __builtin_bswap16(x)
#define be16_to_cpu(x) __builtin_bswap16(x)
#define cpu_to_le32(x) ((u32)(x))
#define le32_to_cpu(x) ((u32)(x))
#define cpu_to_le16(x) ((u16)(x))
#define le16_to_cpu(x) ((u16)(x))
#define cpu_to_le64(x) ((u64)(x))
#define le64_to_cpu(x) ((u64)(x))

/* ---- version ---- */
#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + ((c) > 255 ? 255 : (c)))
#define LINUX_VERSION_CODE KERNEL_VERSION(6, 1, 0)

#ifdef __cplusplus
}
#endif
#endif
