// Runs fwupdate on a firmware image in a sandboxed set with the set's
// full-HD screen and reports what it did: its console output, exit status
// and wall time, the progress screen as a person sees it (a frame during the
// image check, one mid-update and the last one, as PNGs), and for
// comparison the time of checking the image with md5sum and copying its
// payloads to the same partitions with cat.
//
//   fwupdate_demo --program FWUPDATE --res DIR --image FILE --frames DIR
//                 [--apdat BYTES] [--partition NAME:BYTES]... [--payload NAME:FILE]...
#include <png.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fwupdate_rig.h"
#include "pngw.h"
#include "screen_layout.h"

namespace {

[[noreturn]] void usage()
{
	fputs("usage: fwupdate_demo --program FWUPDATE --res DIR --image FILE --frames DIR [--apdat BYTES]\n"
	      "                     [--partition NAME:BYTES]... [--payload NAME:FILE]...\n",
	      stderr);
	exit(2);
}

// Keeps, while fwupdate runs, the frame of a stretch of the update whose
// bar is nearest a given length, in a file of the sandbox.
struct Pick {
	const char *file;
	double target; // part of the bar
	int distance = INT_MAX;
};

// Watches the screen while fwupdate runs: during the image check (the first
// quarter of the bar) and during the update (the rest), the frame whose bar
// is nearest the middle of that stretch.
class Snapshots {
public:
	explicit Snapshots(const screenlayout::Art &art) : art_(art) {}
	void operator()(const std::string &out)
	{
		Pick *pick = out.find("verify success!\n") != std::string::npos ? &updating_
			     : out.find("Verifing image checksum") != std::string::npos ? &verifying_
											: nullptr;
		// A frame every 200 ms is plenty, and leaves the updater its time;
		// the first of each stretch is taken at once.
		const auto now = std::chrono::steady_clock::now();
		if (!pick || (pick->distance != INT_MAX && now - last_ < std::chrono::milliseconds(200)))
			return;
		last_ = now;
		const fwrig::Rig::Frame f = fwrig::read_frame();
		if (f.width == 0)
			return;
		const auto frame = screenlayout::Frame::from_bgra(reinterpret_cast<const uint8_t *>(f.bgra.data()),
								   int(f.width), int(f.height), f.width * 4);
		const int length = screenlayout::shown_bar_length(frame, art_);
		if (length < 0)
			return; // a message, not the progress view
		const int distance = abs(length - int(pick->target * art_.bar_empty.width));
		if (distance >= pick->distance)
			return;
		pick->distance = distance;
		std::ofstream(pick->file, std::ios::binary | std::ios::trunc) << f.bgra;
	}
	static constexpr const char *kVerifying = "/tmp/demo-verifying.bgra";
	static constexpr const char *kUpdating = "/tmp/demo-updating.bgra";

private:
	screenlayout::Art art_;
	Pick verifying_{kVerifying, 1.0 / 8};
	Pick updating_{kUpdating, 5.0 / 8};
	std::chrono::steady_clock::time_point last_;
};

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
	std::string program, res, image, frames;
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
		else if (o == "--frames")
			frames = v;
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
	if (program.empty() || res.empty() || image.empty() || frames.empty())
		usage();
	if (auto why = sandbox::unavailable(); !why.empty()) {
		fprintf(stderr, "fwupdate_demo: no sandbox here: %s\n", why.c_str());
		return 1;
	}

	screenlayout::Art art;
	if (std::string missing = screenlayout::load_art(res, art); !missing.empty()) {
		fprintf(stderr, "fwupdate_demo: %s in %s\n", missing.c_str(), res.c_str());
		return 1;
	}
	fwrig::Rig rig(program, apdat);
	for (auto &[n, size] : parts)
		rig.sparse_partition(n, size);
	rig.screen(res);
	rig.image_file(image);
	rig.watch(Snapshots(art));

	fwrig::Outcome o = rig.run();
	printf("----- fwupdate console -----\n%s----- end of console -----\n", o.out.c_str());
	if (!o.result.setup_error.empty())
		fprintf(stderr, "sandbox: %s\n", o.result.setup_error.c_str());
	printf("fwupdate exit status: %d%s\n", o.exit_code, o.hung ? " (still running after its failure line, ended)" : "");
	printf("fwupdate wall time: %.2f s\n", o.seconds);

	printf("frames of the progress screen:\n");
	const struct {
		std::string sandbox_file; // empty: the last frame
		const char *name;
		const char *what;
	} shots[] = {
		{Snapshots::kVerifying, "1-verifying.png", "checking the image"},
		{Snapshots::kUpdating, "2-updating.png", "mid-update"},
		{"", "3-final.png", "the last frame"},
	};
	for (const auto &shot : shots) {
		fwrig::Rig::Frame f;
		if (shot.sandbox_file.empty()) {
			f = rig.last_frame();
		} else {
			f = rig.last_frame(); // for the plane's size
			f.bgra = rig.box().read_file(shot.sandbox_file).value_or("");
			if (f.bgra.size() != size_t(f.width) * f.height * 4)
				f = {};
		}
		const std::string path = frames + "/" + shot.name;
		if (f.width && save_png(f, path))
			printf("  %-18s %s (%ux%u)\n", shot.what, path.c_str(), f.width, f.height);
		else
			printf("  %-18s none (it passed between two looks)\n", shot.what);
	}

	// A failed update did not do the same work: no comparison for it.
	if (o.exit_code == 0 && !payloads.empty()) {
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
