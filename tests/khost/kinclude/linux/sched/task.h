/* Host kernel: see khost/sched.h. A task stays until kthread_stop, so a reference costs nothing here. */
#ifndef KHOST_LINUX_SCHED_TASK_H
#define KHOST_LINUX_SCHED_TASK_H
#include <khost/sched.h>
static inline struct task_struct *get_task_struct(struct task_struct *t) { return t; }
static inline void put_task_struct(struct task_struct *t) { (void)t; }
#endif
