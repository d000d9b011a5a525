// Captures what the code under test writes to standard output: the engine's
// and the programs' messages are part of their interface.
#pragma once

#include <string>

namespace testsupport {

class StdoutCapture {
public:
	StdoutCapture();
	~StdoutCapture();
	StdoutCapture(const StdoutCapture &) = delete;
	StdoutCapture &operator=(const StdoutCapture &) = delete;

	// Everything written since construction (or the previous take()).
	std::string take();
	// Restores standard output and returns what was written.
	std::string finish();

private:
	int saved_fd_ = -1;
	int file_fd_ = -1;
	long read_pos_ = 0;
};

} // namespace testsupport
