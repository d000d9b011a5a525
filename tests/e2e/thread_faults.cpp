// Thread starts a whole-program test can make fail: fwupdate_devsim's
// pthread_create calls come here. With CRV_FAIL_THREAD=update in the
// environment the engine's update thread does not start (EAGAIN, as when
// the process is out of threads); every other start goes through.
#include <pthread.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crv_update.h"

extern "C" int __real_pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *),
				     void *arg);

extern "C" int __wrap_pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *),
				     void *arg)
{
	const char *fail = getenv("CRV_FAIL_THREAD");
	if (fail && strcmp(fail, "update") == 0 && start == crv_ostrel_update_thread)
		return EAGAIN;
	return __real_pthread_create(thread, attr, start, arg);
}
