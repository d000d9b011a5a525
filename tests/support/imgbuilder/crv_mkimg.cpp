// Command-line front end of the image builder, for scripts and the demo.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "imgbuilder.h"

namespace {

void usage()
{
	fputs("usage: crv_mkimg -o OUT [container options] [--image NAME [image options]]...\n"
	      "container options:\n"
	      "  --bad-magic          write \"TIMX\" in place of \"TIMG\"\n"
	      "  --short-header N     keep only the first N bytes of the whole-image header\n"
	      "  --wrong-digest       store a digest that does not match\n"
	      "  --no-digest          leave the digest zero\n"
	      "  --truncate N         cut N bytes off the end\n"
	      "  --trailing TEXT      append TEXT after the last payload\n"
	      "  --total N            store N as the total length\n"
	      "image options (for the image named by the last --image):\n"
	      "  --target PATH  --compress TEXT  --offset N  --param TEXT\n"
	      "  --data TEXT | --file PATH | --hole N   the payload\n"
	      "  --length N           store N as the payload length\n",
	      stderr);
}

uint64_t number(const char *text)
{
	char *end;
	errno = 0;
	unsigned long long v = strtoull(text, &end, 0);
	if (errno != 0 || *end != '\0' || end == text) {
		fprintf(stderr, "crv_mkimg: not a number: %s\n", text);
		exit(2);
	}
	return v;
}

} // namespace

int main(int argc, char **argv)
{
	std::string out;
	std::vector<imgbuilder::Image> images;
	imgbuilder::Faults faults;

	for (int i = 1; i < argc; i++) {
		std::string opt = argv[i];
		bool has_value = i + 1 < argc;
		const char *val = has_value ? argv[i + 1] : nullptr;
		auto need = [&]() {
			if (!has_value) {
				fprintf(stderr, "crv_mkimg: %s needs a value\n", opt.c_str());
				exit(2);
			}
			i++;
			return val;
		};
		auto image = [&]() -> imgbuilder::Image & {
			if (images.empty()) {
				fprintf(stderr, "crv_mkimg: %s before --image\n", opt.c_str());
				exit(2);
			}
			return images.back();
		};

		if (opt == "-o")
			out = need();
		else if (opt == "--bad-magic")
			faults.bad_magic = true;
		else if (opt == "--short-header")
			faults.header_bytes = number(need());
		else if (opt == "--wrong-digest")
			faults.wrong_digest = true;
		else if (opt == "--no-digest")
			faults.no_digest = true;
		else if (opt == "--truncate")
			faults.truncate = number(need());
		else if (opt == "--trailing")
			faults.trailing = need();
		else if (opt == "--total")
			faults.total = number(need());
		else if (opt == "--image")
			images.push_back({.name = need()});
		else if (opt == "--target")
			image().target = need();
		else if (opt == "--compress")
			image().compress = need();
		else if (opt == "--offset")
			image().target_offset = uint32_t(number(need()));
		else if (opt == "--param")
			image().param = need();
		else if (opt == "--data")
			image().data = need();
		else if (opt == "--file")
			image().file = need();
		else if (opt == "--hole")
			image().hole = number(need());
		else if (opt == "--length")
			image().length = number(need());
		else if (opt == "-h" || opt == "--help") {
			usage();
			return 0;
		} else {
			fprintf(stderr, "crv_mkimg: unknown option %s\n", opt.c_str());
			usage();
			return 2;
		}
	}
	if (out.empty()) {
		usage();
		return 2;
	}
	try {
		imgbuilder::write_container(out, images, faults);
	} catch (const std::exception &e) {
		fprintf(stderr, "%s\n", e.what());
		return 1;
	}
	return 0;
}
