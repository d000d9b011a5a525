// GoogleTest main of the kernel suites. A module's globals, the oracle's
// watches, register hooks and the page arena live as long as the process,
// so each selected test runs in a child process of its own, as CTest runs
// them: a suite run whole gives the verdict its tests give one by one. A
// child's output is shown when its test fails; a crash is that test's
// failure. Listing, and a selection of one test, run in this process.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

bool glob(const char *p, const char *s)
{
	if (!*p)
		return !*s;
	if (*p == '*')
		return glob(p + 1, s) || (*s && glob(p, s + 1));
	return *s && (*p == '?' || *p == *s) && glob(p + 1, s + 1);
}

bool any_pattern(const std::string &patterns, const std::string &name)
{
	for (size_t b = 0;;) {
		size_t e = patterns.find(':', b);
		if (glob(patterns.substr(b, e == std::string::npos ? e : e - b).c_str(), name.c_str()))
			return true;
		if (e == std::string::npos)
			return false;
		b = e + 1;
	}
}

// GoogleTest's filter: ':'-separated patterns, negative ones after a '-'.
bool filter_selects(const std::string &filter, const std::string &name)
{
	size_t dash = filter.find('-');
	std::string pos = filter.substr(0, dash);
	if (!any_pattern(pos.empty() ? "*" : pos, name))
		return false;
	return dash == std::string::npos || !any_pattern(filter.substr(dash + 1), name);
}

std::vector<std::string> selected_tests()
{
	const std::string filter = GTEST_FLAG_GET(filter);
	const bool disabled_too = GTEST_FLAG_GET(also_run_disabled_tests);
	const auto *u = testing::UnitTest::GetInstance();
	std::vector<std::string> names;
	for (int i = 0; i < u->total_test_suite_count(); i++) {
		const auto *s = u->GetTestSuite(i);
		for (int j = 0; j < s->total_test_count(); j++) {
			const auto *t = s->GetTestInfo(j);
			std::string name = std::string(s->name()) + "." + t->name();
			bool disabled = filter_selects("DISABLED_*:*/DISABLED_*", s->name()) ||
					filter_selects("DISABLED_*:*/DISABLED_*", t->name());
			if ((!disabled || disabled_too) && filter_selects(filter, name))
				names.push_back(name);
		}
	}
	return names;
}

// Runs one test in a child; returns whether it passed, and its output.
bool run_child(const std::string &name, std::string &out)
{
	int fd[2];
	if (pipe(fd)) {
		out = std::string("pipe: ") + strerror(errno) + "\n";
		return false;
	}
	fflush(stdout);
	fflush(stderr);
	pid_t pid = fork();
	if (pid == 0) {
		close(fd[0]);
		dup2(fd[1], STDOUT_FILENO);
		dup2(fd[1], STDERR_FILENO);
		close(fd[1]);
		GTEST_FLAG_SET(filter, name);
		exit(RUN_ALL_TESTS());
	}
	close(fd[1]);
	if (pid < 0) {
		close(fd[0]);
		out = std::string("fork: ") + strerror(errno) + "\n";
		return false;
	}
	char buf[4096];
	ssize_t n;
	while ((n = read(fd[0], buf, sizeof(buf))) > 0 || (n < 0 && errno == EINTR))
		if (n > 0)
			out.append(buf, n);
	close(fd[0]);
	int status;
	while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
		;
	if (WIFSIGNALED(status))
		out += std::string("killed by signal ") + strsignal(WTERMSIG(status)) + "\n";
	else if (WEXITSTATUS(status))
		out += "exit status " + std::to_string(WEXITSTATUS(status)) + "\n";
	return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv)
{
	testing::InitGoogleTest(&argc, argv);
	if (GTEST_FLAG_GET(list_tests))
		return RUN_ALL_TESTS();
	std::vector<std::string> names = selected_tests();
	if (names.size() <= 1)
		return RUN_ALL_TESTS();

	printf("[==========] Running %zu tests, each in a process of its own.\n", names.size());
	std::vector<std::string> failed;
	size_t ran = 0;
	for (const auto &name : names) {
		std::string out;
		auto t0 = std::chrono::steady_clock::now();
		bool ok = run_child(name, out);
		long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
				  std::chrono::steady_clock::now() - t0).count();
		ran++;
		if (!ok) {
			fputs(out.c_str(), stdout);
			failed.push_back(name);
		}
		printf("%s %s (%ld ms)\n", ok ? "[       OK ]" : "[  FAILED  ]", name.c_str(), ms);
		if (!ok && GTEST_FLAG_GET(fail_fast))
			break;
	}
	printf("[==========] %zu tests ran.\n", ran);
	printf("[  PASSED  ] %zu tests.\n", ran - failed.size());
	if (!failed.empty()) {
		printf("[  FAILED  ] %zu tests, listed below:\n", failed.size());
		for (const auto &name : failed)
			printf("[  FAILED  ] %s\n", name.c_str());
	}
	return failed.empty() ? 0 : 1;
}
