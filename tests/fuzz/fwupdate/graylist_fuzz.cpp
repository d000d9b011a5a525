// The gray list and the FORMAT filter. An input is a per-image header
// followed by a name-list payload: the list is loaded from the payload, then
// the header goes through the filter. Its format commands never run: they
// are taken here (the link wraps system() and crv_ostrel_system(), whose
// C++ name is wrapped) and checked: every command must see the header's
// target as one plain word that no shell or program takes for more. The
// search path leads nowhere besides, so that no formatter could run even if
// a call got past the wrappers.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crv_container.h"
#include "fuzz_file.h"
#include "gray_list.h"
#include "update_policy.h"

namespace {

MemFile *payload;
std::string target;
int commands;

void check_command(const char *cmd)
{
	const char *at = strstr(cmd, target.c_str());
	if (target.empty() || target[0] == '-' || target.find_first_of(" \t\r\n|&;<>()$`\\\"'*?[#~") != std::string::npos ||
	    at == nullptr) {
		fprintf(stderr, "command \"%s\" for the target \"%s\"\n", cmd, target.c_str());
		abort();
	}
}

} // namespace

extern "C" int __wrap_system(const char *cmd)
{
	check_command(cmd);
	commands++;
	return 0;
}

extern "C" int __wrap__Z17crv_ostrel_systemPKc(const char *cmd)
{
	check_command(cmd);
	commands++;
	return 0;
}

extern "C" int __wrap__Z24crv_ostrel_system_statusPKc(const char *cmd)
{
	check_command(cmd);
	commands++;
	return 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	setenv("PATH", "/nonexistent", 1);
	payload = new MemFile("gray_image");
	gray_image_list.enable = 1;
	// The wrappers must be the ones called.
	crv_per_img_hdr hdr{};
	strcpy(hdr.target, "/dev/null");
	strcpy(hdr.param, "FORMAT-EXT4 ERASE");
	target = hdr.target;
	my_format_filter_cb(&hdr, nullptr);
	if (commands != 2) {
		fprintf(stderr, "format commands are not intercepted\n");
		abort();
	}
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	crv_per_img_hdr hdr{};
	memcpy(&hdr, data, std::min(size, sizeof(hdr)));
	size_t rest = size > sizeof(hdr) ? size - sizeof(hdr) : 0;
	payload->set(data + size - rest, rest);
	crv_per_img_handle handle{payload->open("rb"), rest, sizeof(hdr)};
	my_gray_image_list_cb(&hdr, &handle, nullptr);
	fclose(handle.stream);

	target = crv_hdr_target(hdr).c_str();
	my_format_filter_cb(&hdr, nullptr);
	release_gray_image_list();
	return 0;
}
