#include "capture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

StdoutCapture::StdoutCapture()
{
	fflush(stdout);
	char name[] = "/tmp/crv-stdout-XXXXXX";
	file_fd_ = mkstemp(name);
	if (file_fd_ < 0)
		throw std::runtime_error("StdoutCapture: mkstemp failed");
	unlink(name);
	saved_fd_ = dup(STDOUT_FILENO);
	dup2(file_fd_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
	if (saved_fd_ >= 0)
		finish();
}

std::string StdoutCapture::take()
{
	fflush(stdout);
	std::string out;
	char buf[4096];
	for (;;) {
		ssize_t n = pread(file_fd_, buf, sizeof(buf), read_pos_);
		if (n <= 0)
			break;
		out.append(buf, static_cast<size_t>(n));
		read_pos_ += n;
	}
	return out;
}

std::string StdoutCapture::finish()
{
	if (saved_fd_ < 0)
		return {};
	std::string out = take();
	dup2(saved_fd_, STDOUT_FILENO);
	close(saved_fd_);
	close(file_fd_);
	saved_fd_ = file_fd_ = -1;
	return out;
}

} // namespace testsupport
