/*
 * Host kernel: execution context, locks, waiting, kernel threads, time.
 *
 * Every sleeping call checks that it is not made in atomic context (spinlock
 * held, interrupts off, interrupt or timer handler); such a call is recorded
 * as a fault of the test. Kernel time runs khost_time_scale() times faster
 * than the host's clock.
 */
#ifndef KHOST_SCHED_H
#define KHOST_SCHED_H

#include "base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- context ---- */
void khost_might_sleep(const char *what);
bool khost_in_atomic(void);
bool khost_in_irq(void);
bool khost_in_softirq(void);
#define might_sleep() khost_might_sleep(__func__)
#define in_interrupt() (khost_in_irq() || khost_in_softirq())
#define in_irq() khost_in_irq()
#define in_hardirq() khost_in_irq()
#define in_softirq() khost_in_softirq()
#define in_atomic() khost_in_atomic()
#define irqs_disabled() khost_irqs_disabled()
bool khost_irqs_disabled(void);
void khost_local_irq_disable(void);
void khost_local_irq_enable(void);
unsigned long khost_local_irq_save(void);
void khost_local_irq_restore(unsigned long flags);
#define local_irq_disable() khost_local_irq_disable()
#define local_irq_enable() khost_local_irq_enable()
#define local_irq_save(flags) do { (flags) = khost_local_irq_save(); } while (0)
#define local_irq_restore(flags) khost_local_irq_restore(flags)
void khost_preempt_disable(void);
void khost_preempt_enable(void);
#define preempt_disable() khost_preempt_disable()
#define preempt_enable() khost_preempt_enable()
#define rcu_read_lock() do { } while (0)
#define rcu_read_unlock() do { } while (0)
#define synchronize_rcu() do { } while (0)
/* No reader outlives a call here: a callback's grace period is over at once. */
struct rcu_head {
	struct rcu_head *next;
	void (*func)(struct rcu_head *head);
};
#define call_rcu(head, fn) (fn)(head)
#define rcu_barrier() do { } while (0)
#define smp_processor_id() 0
#define num_online_cpus() 1
#define raw_smp_processor_id() 0

/* ---- tasks ---- */
#define TASK_COMM_LEN 16
#define TASK_RUNNING 0
#define TASK_INTERRUPTIBLE 1
#define TASK_UNINTERRUPTIBLE 2
#define TASK_KILLABLE 0x102
struct files_struct;
struct mm_struct;
struct task_struct {
	pid_t pid;
	pid_t tgid;
	char comm[TASK_COMM_LEN];
	struct files_struct *files;
	struct mm_struct *mm;
	void *khost;
};
struct task_struct *khost_current(void);
#ifndef __cplusplus
#define current (khost_current())
#endif
/* ---- credentials ---- */
/* Capabilities, one bit per number as the kernel numbers them. A task has
 * the set khost::set_caps() chose (every one by default, as for root); a
 * file keeps its opener's. */
#define CAP_SYS_RAWIO 17
#define CAP_SYS_ADMIN 21
struct user_namespace {
	int khost_level;
};
extern struct user_namespace init_user_ns;
struct cred {
	unsigned long long cap_effective;
	struct user_namespace *user_ns;
};
const struct cred *khost_current_cred(void);
#define current_cred() (khost_current_cred())
bool capable(int cap);
bool ns_capable(struct user_namespace *ns, int cap);
struct file;
bool file_ns_capable(const struct file *file, struct user_namespace *ns, int cap);
static inline pid_t task_pid_nr(struct task_struct *t) { return t->pid; }
static inline pid_t task_tgid_nr(struct task_struct *t) { return t->tgid; }
static inline char *get_task_comm(char *buf, struct task_struct *t)
{ strscpy(buf, t->comm, TASK_COMM_LEN); return buf; }
int signal_pending(struct task_struct *t);
int fatal_signal_pending(struct task_struct *t);
void flush_signals(struct task_struct *t);
int wake_up_process(struct task_struct *t);
void set_current_state(long state);
#define __set_current_state(s) set_current_state(s)
void schedule(void);
long schedule_timeout(long timeout);
long schedule_timeout_interruptible(long timeout);
long schedule_timeout_uninterruptible(long timeout);
void yield(void);
#define cond_resched() do { might_sleep(); } while (0)
#define MAX_SCHEDULE_TIMEOUT LONG_MAX
#ifndef __cplusplus
int khost_sched_setscheduler(struct task_struct *t, int policy, const void *param);
#define sched_setscheduler khost_sched_setscheduler
struct sched_param { int sched_priority; };
#endif
#define SCHED_FIFO 1
#define SCHED_RR 2
#define MAX_RT_PRIO 100
static inline void sched_set_fifo(struct task_struct *t) { (void)t; }
static inline void set_user_nice(struct task_struct *t, long nice) { (void)t; (void)nice; }

/* ---- kernel threads ---- */
struct task_struct *kthread_create_on_node(int (*fn)(void *), void *data, int node,
					   const char *namefmt, ...) __printf(4, 5);
#define kthread_create(fn, data, namefmt, ...) \
	kthread_create_on_node(fn, data, -1, namefmt, ##__VA_ARGS__)
#define kthread_run(fn, data, namefmt, ...) ({ \
	struct task_struct *__k = kthread_create(fn, data, namefmt, ##__VA_ARGS__); \
	if (!IS_ERR(__k)) wake_up_process(__k); __k; })
int kthread_stop(struct task_struct *k);
bool kthread_should_stop(void);
void kthread_bind(struct task_struct *k, unsigned int cpu);
int khost_kthread_park_dummy(void);

/* ---- time ---- */
#define HZ 250
#define NSEC_PER_SEC 1000000000L
#define NSEC_PER_MSEC 1000000L
#define NSEC_PER_USEC 1000L
#define USEC_PER_SEC 1000000L
#define MSEC_PER_SEC 1000L
unsigned long khost_jiffies(void);
#define jiffies (khost_jiffies())
#define jiffies_64 ((u64)khost_jiffies())
static inline u64 get_jiffies_64(void) { return khost_jiffies(); }
#define INITIAL_JIFFIES 0
#define time_after(a, b) ((long)((b) - (a)) < 0)
#define time_before(a, b) time_after(b, a)
#define time_after_eq(a, b) ((long)((a) - (b)) >= 0)
#define time_before_eq(a, b) time_after_eq(b, a)
#define time_is_before_jiffies(a) time_after(jiffies, a)
#define time_is_after_jiffies(a) time_before(jiffies, a)
static inline unsigned int jiffies_to_msecs(unsigned long j) { return (unsigned int)(j * (1000 / HZ)); }
static inline unsigned int jiffies_to_usecs(unsigned long j) { return (unsigned int)(j * (1000000 / HZ)); }
static inline unsigned long msecs_to_jiffies(unsigned int m) { return (m + (1000 / HZ) - 1) / (1000 / HZ); }
static inline unsigned long usecs_to_jiffies(unsigned int u) { return (u + (1000000 / HZ) - 1) / (1000000 / HZ); }
ktime_t ktime_get(void);
static inline ktime_t ktime_get_raw(void) { return ktime_get(); }
static inline ktime_t ktime_get_boottime(void) { return ktime_get(); }
static inline u64 ktime_get_ns(void) { return (u64)ktime_get(); }
static inline u64 ktime_get_raw_ns(void) { return (u64)ktime_get(); }
static inline u64 ktime_get_mono_fast_ns(void) { return (u64)ktime_get(); }
static inline s64 ktime_to_ns(ktime_t t) { return t; }
static inline s64 ktime_to_us(ktime_t t) { return t / 1000; }
static inline s64 ktime_to_ms(ktime_t t) { return t / 1000000; }
static inline ktime_t ktime_sub(ktime_t a, ktime_t b) { return a - b; }
static inline ktime_t ktime_add(ktime_t a, ktime_t b) { return a + b; }
static inline ktime_t ns_to_ktime(u64 ns) { return (ktime_t)ns; }
static inline ktime_t ms_to_ktime(u64 ms) { return (ktime_t)(ms * 1000000); }
static inline s64 ktime_us_delta(ktime_t a, ktime_t b) { return (a - b) / 1000; }
static inline s64 ktime_ms_delta(ktime_t a, ktime_t b) { return (a - b) / 1000000; }
static inline u64 local_clock(void) { return (u64)ktime_get(); }
static inline u64 sched_clock(void) { return (u64)ktime_get(); }
struct timespec64 { s64 tv_sec; long tv_nsec; };
void ktime_get_real_ts64(struct timespec64 *ts);
void ktime_get_ts64(struct timespec64 *ts);
void msleep(unsigned int msecs);
unsigned long msleep_interruptible(unsigned int msecs);
void usleep_range(unsigned long min, unsigned long max);
void udelay(unsigned long usecs);
void mdelay(unsigned long msecs);
void ndelay(unsigned long nsecs);
static inline void ssleep(unsigned int s) { msleep(s * 1000); }

/* ---- timers (callbacks run in timer context on the timer thread) ---- */
struct timer_list {
	unsigned long expires;
	void (*function)(struct timer_list *);
	unsigned int flags;
	void *khost;
};
void timer_setup(struct timer_list *t, void (*fn)(struct timer_list *), unsigned int flags);
int mod_timer(struct timer_list *t, unsigned long expires);
void add_timer(struct timer_list *t);
int del_timer(struct timer_list *t);
int del_timer_sync(struct timer_list *t);
int timer_pending(const struct timer_list *t);
#ifndef __cplusplus
#define timer_delete del_timer
#define timer_delete_sync del_timer_sync
#endif
#define from_timer(var, t, field) container_of(t, __typeof__(*var), field)
#define DEFINE_TIMER(name, fn) struct timer_list name = { .function = (fn) }

/* ---- spinlocks ---- */
struct khost_lock_info;
typedef struct spinlock {
	int locked;
	int irq_safe_state;
	struct task_struct *owner;
	const char *name;
} spinlock_t;
typedef spinlock_t raw_spinlock_t;
#define __SPIN_LOCK_UNLOCKED(n) { 0, 0, NULL, #n }
#define DEFINE_SPINLOCK(n) spinlock_t n = __SPIN_LOCK_UNLOCKED(n)
#define DEFINE_RAW_SPINLOCK(n) DEFINE_SPINLOCK(n)
void khost_spin_init(spinlock_t *l, const char *name);
#define spin_lock_init(l) khost_spin_init(l, #l)
#define raw_spin_lock_init(l) khost_spin_init(l, #l)
void spin_lock(spinlock_t *l);
void spin_unlock(spinlock_t *l);
int spin_trylock(spinlock_t *l);
void spin_lock_irq(spinlock_t *l);
void spin_unlock_irq(spinlock_t *l);
void spin_lock_bh(spinlock_t *l);
void spin_unlock_bh(spinlock_t *l);
unsigned long khost_spin_lock_irqsave(spinlock_t *l);
void spin_unlock_irqrestore(spinlock_t *l, unsigned long flags);
#define spin_lock_irqsave(l, flags) do { (flags) = khost_spin_lock_irqsave(l); } while (0)
#define raw_spin_lock_irqsave spin_lock_irqsave
#define raw_spin_unlock_irqrestore spin_unlock_irqrestore
#define raw_spin_lock spin_lock
#define raw_spin_unlock spin_unlock
int spin_is_locked(spinlock_t *l);
#define assert_spin_locked(l) WARN_ON(!spin_is_locked(l))

/* ---- mutexes ---- */
struct mutex {
	int locked;
	struct task_struct *owner;
	const char *name;
};
#define __MUTEX_INITIALIZER(n) { 0, NULL, #n }
#define DEFINE_MUTEX(n) struct mutex n = __MUTEX_INITIALIZER(n)
void khost_mutex_init(struct mutex *m, const char *name);
#define mutex_init(m) khost_mutex_init(m, #m)
static inline void mutex_destroy(struct mutex *m) { (void)m; }
void mutex_lock(struct mutex *m);
int mutex_lock_interruptible(struct mutex *m);
int mutex_lock_killable(struct mutex *m);
int mutex_trylock(struct mutex *m);
void mutex_unlock(struct mutex *m);
int mutex_is_locked(struct mutex *m);
#define mutex_lock_nested(m, s) mutex_lock(m)
#define lockdep_assert_held(l) do { } while (0)

/* ---- semaphores ---- */
struct semaphore {
	int count;
	const char *name;
};
#define __SEMAPHORE_INITIALIZER(n, c) { c, #n }
#define DEFINE_SEMAPHORE(n) struct semaphore n = __SEMAPHORE_INITIALIZER(n, 1)
void sema_init(struct semaphore *s, int val);
void down(struct semaphore *s);
int down_interruptible(struct semaphore *s);
int down_killable(struct semaphore *s);
int down_trylock(struct semaphore *s);
int down_timeout(struct semaphore *s, long jiffies_timeout);
void up(struct semaphore *s);

/* ---- rw-semaphores ---- */
struct rw_semaphore {
	int readers;
	int writer;
	struct task_struct *owner;
	const char *name;
};
#define __RWSEM_INITIALIZER(n) { 0, 0, NULL, #n }
#define DECLARE_RWSEM(n) struct rw_semaphore n = __RWSEM_INITIALIZER(n)
void khost_init_rwsem(struct rw_semaphore *s, const char *name);
#define init_rwsem(s) khost_init_rwsem(s, #s)
void down_read(struct rw_semaphore *s);
int down_read_trylock(struct rw_semaphore *s);
void up_read(struct rw_semaphore *s);
void down_write(struct rw_semaphore *s);
int down_write_trylock(struct rw_semaphore *s);
void up_write(struct rw_semaphore *s);
void downgrade_write(struct rw_semaphore *s);

/* ---- wait queues ---- */
struct wait_queue_head {
	unsigned long gen;
	const char *name;
};
typedef struct wait_queue_head wait_queue_head_t;
#define __WAIT_QUEUE_HEAD_INITIALIZER(n) { 0, #n }
#define DECLARE_WAIT_QUEUE_HEAD(n) wait_queue_head_t n = __WAIT_QUEUE_HEAD_INITIALIZER(n)
void khost_init_waitqueue_head(wait_queue_head_t *q, const char *name);
#define init_waitqueue_head(q) khost_init_waitqueue_head(q, #q)
void wake_up(wait_queue_head_t *q);
#define wake_up_all(q) wake_up(q)
#define wake_up_interruptible(q) wake_up(q)
#define wake_up_interruptible_all(q) wake_up(q)
#define wake_up_interruptible_sync(q) wake_up(q)
#define wake_up_locked(q) wake_up(q)
int waitqueue_active(wait_queue_head_t *q);

/*
 * Wait primitives behind the wait_event family. prepare returns a ticket;
 * sleep returns 0 when woken (or the ticket is stale), -ERESTARTSYS for a
 * signal (interruptible only), 1 when the timeout (host ns deadline) passed.
 */
unsigned long khost_wait_prepare(wait_queue_head_t *q, const char *what);
int khost_wait_sleep(wait_queue_head_t *q, unsigned long ticket, int interruptible,
		     long long deadline_ns);
long long khost_deadline_after(long timeout_jiffies);
long khost_jiffies_left(long long deadline_ns);

#define __khost_wait(wq, cond, intr) ({ \
	int __r = 0; \
	for (;;) { \
		unsigned long __t = khost_wait_prepare(&(wq), __func__); \
		if (cond) break; \
		__r = khost_wait_sleep(&(wq), __t, intr, -1); \
		if (__r < 0) break; \
	} \
	__r; })
#define __khost_wait_timeout(wq, cond, intr, timeout) ({ \
	long __left = (long)(timeout); \
	long long __dl = khost_deadline_after(__left); \
	for (;;) { \
		unsigned long __t = khost_wait_prepare(&(wq), __func__); \
		int __r; \
		if (cond) { __left = khost_jiffies_left(__dl); if (!__left) __left = 1; break; } \
		__r = khost_wait_sleep(&(wq), __t, intr, __dl); \
		if (__r < 0) { __left = __r; break; } \
		if (__r > 0) { __left = (cond) ? 1 : 0; break; } \
	} \
	__left; })
#define wait_event(wq, cond) do { (void)__khost_wait(wq, cond, 0); } while (0)
#define wait_event_interruptible(wq, cond) __khost_wait(wq, cond, 1)
#define wait_event_killable(wq, cond) __khost_wait(wq, cond, 1)
#define wait_event_timeout(wq, cond, timeout) __khost_wait_timeout(wq, cond, 0, timeout)
#define wait_event_interruptible_timeout(wq, cond, timeout) __khost_wait_timeout(wq, cond, 1, timeout)

/* ---- completions ---- */
struct completion {
	unsigned int done;
	wait_queue_head_t wait;
};
#define COMPLETION_INITIALIZER(n) { 0, __WAIT_QUEUE_HEAD_INITIALIZER(n) }
#define DECLARE_COMPLETION(n) struct completion n = COMPLETION_INITIALIZER(n)
void init_completion(struct completion *c);
void reinit_completion(struct completion *c);
void complete(struct completion *c);
void complete_all(struct completion *c);
void wait_for_completion(struct completion *c);
int wait_for_completion_interruptible(struct completion *c);
int wait_for_completion_killable(struct completion *c);
unsigned long wait_for_completion_timeout(struct completion *c, unsigned long timeout);
long wait_for_completion_interruptible_timeout(struct completion *c, unsigned long timeout);
bool try_wait_for_completion(struct completion *c);
bool completion_done(struct completion *c);

/* ---- work queues (run on a worker thread) ---- */
struct work_struct;
typedef void (*work_func_t)(struct work_struct *);
struct work_struct {
	work_func_t func;
	int pending;
	void *khost;
};
struct delayed_work {
	struct work_struct work;
	struct timer_list timer;
};
struct workqueue_struct;
#define INIT_WORK(w, fn) do { (w)->func = (fn); (w)->pending = 0; (w)->khost = NULL; } while (0)
#define INIT_DELAYED_WORK(d, fn) do { INIT_WORK(&(d)->work, fn); (d)->timer.khost = NULL; } while (0)
#define to_delayed_work(w) container_of(w, struct delayed_work, work)
bool schedule_work(struct work_struct *w);
bool queue_work(struct workqueue_struct *wq, struct work_struct *w);
bool cancel_work_sync(struct work_struct *w);
void flush_work(struct work_struct *w);
bool schedule_delayed_work(struct delayed_work *d, unsigned long delay);
bool queue_delayed_work(struct workqueue_struct *wq, struct delayed_work *d, unsigned long delay);
bool cancel_delayed_work_sync(struct delayed_work *d);
bool cancel_delayed_work(struct delayed_work *d);
struct workqueue_struct *alloc_workqueue(const char *fmt, unsigned int flags, int max, ...);
#define create_singlethread_workqueue(name) alloc_workqueue("%s", 0, 1, name)
#define alloc_ordered_workqueue(fmt, flags, ...) alloc_workqueue(fmt, flags, 1, ##__VA_ARGS__)
void destroy_workqueue(struct workqueue_struct *wq);
void flush_workqueue(struct workqueue_struct *wq);

#ifdef __cplusplus
}
#endif
#endif
