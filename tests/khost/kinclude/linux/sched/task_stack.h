/* Host kernel: see khost/mm.h. */
#ifndef KHOST_LINUX_SCHED_TASK_STACK_H
#define KHOST_LINUX_SCHED_TASK_STACK_H
#include <khost/mm.h>
static inline int object_is_on_stack(const void *obj) { return khost_object_is_on_stack(obj); }
#endif
