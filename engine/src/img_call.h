// The owner of what an image writer holds for one call: the handle's payload
// stream and the staged copy of the payload. Both are gone on every way out.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "crv_container.h"

class crv_img_call {
public:
	explicit crv_img_call(crv_per_img_handle *handle) : handle_(handle) {}
	~crv_img_call()
	{
		close_stream();
		if (!staged_.empty())
			unlink(staged_.c_str());
	}
	crv_img_call(const crv_img_call &) = delete;
	crv_img_call &operator=(const crv_img_call &) = delete;

	void close_stream()
	{
		if (handle_->stream != nullptr) {
			fclose(handle_->stream);
			handle_->stream = nullptr;
		}
	}
	// The staged file to remove when the call ends (the path is copied).
	void remove_on_exit(const std::string &path) { staged_ = path; }

private:
	crv_per_img_handle *handle_;
	std::string staged_;
};
