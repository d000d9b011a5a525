// An ADF display device answered through devsim. Regular files in a folder
// stand in for its nodes ("adf<id>", "adf-interface<id>.<n>",
// "adf-overlay-engine<id>.<n>"); the model answers the ioctls of each node as
// the display driver does, logs them, allocates simple buffers as memfds
// named "adf-buffer" and answers posts with a completion fence, a memfd
// named "adf-fence".
#pragma once

#include "adf_ioctl.h"
#include "devsim.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace devmodels {

AdfMode adf_mode(uint16_t w, uint16_t h, uint32_t refresh = 60);

struct AdfModel {
	struct Interface {
		uint32_t type = 0;
		uint32_t flags = ADF_INTF_FLAG_PRIMARY;
		std::string name = "hdmi";
		AdfMode current = adf_mode(64, 48);
		std::vector<AdfMode> modes = {adf_mode(64, 48), adf_mode(32, 24)};
	};
	struct Engine {
		std::vector<uint32_t> formats = {adf_fourcc('B', 'A', '2', '4')};
		std::string name = "osd";
	};
	struct Post {
		uint32_t interface;  // node the post arrived on (simple posts)
		AdfBufferConfig buf; // as received
		std::vector<uint8_t> pixels; // pitch x height bytes of the buffer
	};

	// Configuration, set before attach (interfaces and engines are numbered
	// by their position).
	uint32_t id = 0;
	std::string name = "display";
	std::vector<Interface> interfaces = {Interface{}};
	std::vector<Engine> engines = {Engine{}};
	std::vector<AdfAttachment> allowed = {{0, 0}};
	std::vector<AdfAttachment> attached;
	std::string custom_data;           // device custom data
	std::map<unsigned long, int> failing; // request -> errno it fails with
	int allocs_left = -1;              // allocations before ENOMEM (-1: no limit)
	bool unmappable_buffers = false;   // buffers come back read-only
	uint32_t pitch_pad = 0;            // bytes added to each line
	int32_t pitch_delta = 0;           // ... or taken off (negative)
	uint32_t buffer_offset = 0;        // where the pixels start in the buffer
	bool fences = true;                // posts return a completion fence
	// Runs after every request the model answered.
	std::function<void(unsigned long request)> after;

	// Observed.
	std::vector<std::string> log; // one line per request
	std::vector<Post> posts;
	std::string dir;

	// Creates the node files in the folder and attaches the model to them.
	void attach(const std::string &folder);
	void detach();

	int handle(int kind, uint32_t index, int fd, unsigned long request, void *arg);
};

// Descriptors of this process still open on model buffers and fences, and
// mappings of model buffers.
int adf_open_buffer_descriptors();
int adf_buffer_mappings();

} // namespace devmodels
