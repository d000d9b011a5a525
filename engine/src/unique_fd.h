// An owned file descriptor, closed when its owner goes out of scope.
#pragma once

#include <unistd.h>

class crv_unique_fd {
public:
	explicit crv_unique_fd(int fd = -1) : fd_(fd) {}
	~crv_unique_fd() { reset(); }
	crv_unique_fd(const crv_unique_fd &) = delete;
	crv_unique_fd &operator=(const crv_unique_fd &) = delete;

	int get() const { return fd_; }
	bool valid() const { return fd_ >= 0; }
	void reset(int fd = -1)
	{
		if (fd_ >= 0)
			close(fd_);
		fd_ = fd;
	}

private:
	int fd_;
};
