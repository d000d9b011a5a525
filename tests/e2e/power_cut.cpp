// A power cut a whole-program test can place: fwupdate_devsim's system()
// calls come here. With CRV_CUT_AT=<text> in the environment, a command
// line that begins with <text> is started and the updater then stops itself
// while the command runs; the runner, which sees it stop, kills the updater
// and everything it started, as losing power would. Every other command
// runs as usual.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern "C" int __real_system(const char *cmd);

extern "C" int __wrap_system(const char *cmd)
{
	const char *at = getenv("CRV_CUT_AT");
	if (at == nullptr || at[0] == '\0' || cmd == nullptr || strncmp(cmd, at, strlen(at)) != 0)
		return __real_system(cmd);
	pid_t pid = fork();
	if (pid < 0)
		return -1;
	if (pid == 0) {
		execl("/bin/sh", "sh", "-c", cmd, static_cast<char *>(nullptr));
		_exit(127);
	}
	raise(SIGSTOP);
	// Only a runner that lets the updater go on gets here.
	int status = 0;
	while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
	}
	return status;
}
