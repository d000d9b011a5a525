// Runs fwupdate on a firmware image in a sandboxed set and reports what it
// did: its console output, exit status and wall time, the final frame of the
// progress screen as a PNG, and for comparison the time of checking the
// image with md5sum and copying its payloads to the same partitions with cat.
//
//   fwupdate_demo --program FWUPDATE --res DIR --image FILE --png OUT
//                 [--apdat BYTES] [--partition NAME:BYTES]... [--payload NAME:FILE]...
#include <png.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fwupdate_rig.h"
#include "pngw.h"

namespace {

[[noreturn]] void usage()
{
	fputs("usage: fwupdate_demo --program FWUPDATE --res DIR --image FILE --png OUT [--apdat BYTES]\n"
	      "                     [--partition NAME:BYTES]... [--payload NAME:FILE]...\n",
	      stderr);
	exit(2);
}

std::pair<std::string, std::string> split(const std::string &s)
{
	auto at = s.find(':');
	if (at == std::string::npos)
		usage();
	return {s.substr(0, at), s.substr(at + 1)};
}

bool save_png(const fwrig::Rig::Frame &f, const std::string &path)
{
	png_out img;
	img.width = f.width;
	img.height = f.height;
	img.color_type = PNG_COLOR_TYPE_RGB;
	img.rows.resize(static_cast<std::size_t>(f.width) * f.height * 3);
	for (std::size_t i = 0, n = static_cast<std::size_t>(f.width) * f.height; i < n; i++) {
		img.rows[i * 3 + 0] = static_cast<uint8_t>(f.bgra[i * 4 + 2]);
		img.rows[i * 3 + 1] = static_cast<uint8_t>(f.bgra[i * 4 + 1]);
		img.rows[i * 3 + 2] = static_cast<uint8_t>(f.bgra[i * 4 + 0]);
	}
	return png_write_file(path, img);
}

} // namespace

int main(int argc, char **argv)
{
	std::string program, res, image, png;
	uint64_t apdat = 64ull << 20;
	std::vector<std::pair<std::string, uint64_t>> parts;
	std::vector<std::pair<std::string, std::string>> payloads;
	for (int i = 1; i < argc; i++) {
		std::string o = argv[i];
		if (i + 1 >= argc)
			usage();
		std::string v = argv[++i];
		if (o == "--program")
			program = v;
		else if (o == "--res")
			res = v;
		else if (o == "--image")
			image = v;
		else if (o == "--png")
			png = v;
		else if (o == "--apdat")
			apdat = strtoull(v.c_str(), nullptr, 0);
		else if (o == "--partition") {
			auto [n, size] = split(v);
			parts.emplace_back(n, strtoull(size.c_str(), nullptr, 0));
		} else if (o == "--payload")
			payloads.push_back(split(v));
		else
			usage();
	}
	if (program.empty() || image.empty() || png.empty())
		usage();
	if (auto why = sandbox::unavailable(); !why.empty()) {
		fprintf(stderr, "fwupdate_demo: no sandbox here: %s\n", why.c_str());
		return 1;
	}

	fwrig::Rig rig(program, apdat);
	for (auto &[n, size] : parts)
		rig.sparse_partition(n, size);
	if (!res.empty())
		rig.screen(res);
	rig.image_file(image);

	fwrig::Outcome o = rig.run();
	printf("----- fwupdate console -----\n%s----- end of console -----\n", o.out.c_str());
	if (!o.result.setup_error.empty())
		fprintf(stderr, "sandbox: %s\n", o.result.setup_error.c_str());
	printf("fwupdate exit status: %d%s\n", o.exit_code, o.hung ? " (still running after its failure line, ended)" : "");
	printf("fwupdate wall time: %.2f s\n", o.seconds);

	fwrig::Rig::Frame f = rig.last_frame();
	if (f.width && save_png(f, png))
		printf("final frame of the progress screen: %s (%ux%u)\n", png.c_str(), f.width, f.height);
	else
		printf("no frame to save\n");

	if (!payloads.empty()) {
		// The same bytes the hard way: check the image, copy each payload.
		std::string cmd = "md5sum " + image + " >/dev/null";
		for (auto &[n, file] : payloads)
			cmd += " && cat " + file + " > " + rig.box().host_path(std::string(fwrig::PART_DIR) + "/" + n);
		cmd += " && sync";
		auto t0 = std::chrono::steady_clock::now();
		int rc = system(cmd.c_str());
		double base = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
		printf("md5sum + cat of the payloads: %.2f s%s\n", base, rc == 0 ? "" : " (failed)");
		if (rc == 0 && base > 0)
			printf("ratio fwupdate / (md5sum + cat): %.2f\n", o.seconds / base);
	}
	return o.exit_code == 0 ? 0 : 1;
}
