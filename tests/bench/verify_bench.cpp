// Times the whole-image check against coreutils md5sum on the same file.
// Not a test: build with the release preset and run by hand:
//   build/release/tests/engine/engine_verify_bench [MiB] [folder]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "crv_container.h"
#include "crv_ostrel_ctx.h"
#include "imgbuilder.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void write_random(const std::string &path, uint64_t bytes)
{
	FILE *f = fopen(path.c_str(), "wb");
	if (!f) {
		perror(path.c_str());
		exit(1);
	}
	constexpr std::size_t chunk = 1 << 20;
	auto buf = std::make_unique<uint64_t[]>(chunk / 8);
	uint64_t x = 0x9e3779b97f4a7c15ull;
	for (uint64_t done = 0; done < bytes; done += chunk) {
		for (std::size_t i = 0; i < chunk / 8; i++) {
			x ^= x << 13;
			x ^= x >> 7;
			x ^= x << 17;
			buf[i] = x;
		}
		fwrite(buf.get(), 1, chunk, f);
	}
	fclose(f);
}

double time_md5sum(const std::string &path)
{
	auto start = std::chrono::steady_clock::now();
	if (system(("md5sum " + path + " >/dev/null").c_str()) != 0) {
		fprintf(stderr, "md5sum failed\n");
		exit(1);
	}
	return seconds_since(start);
}

double time_verify(const std::string &path)
{
	FILE *f = fopen(path.c_str(), "rb");
	auto start = std::chrono::steady_clock::now();
	int r = crv_ostrel_verify_whole_image(f);
	double t = seconds_since(start);
	fclose(f);
	if (r != 0) {
		fprintf(stderr, "verify failed: %d\n", r);
		exit(1);
	}
	return t;
}

} // namespace

int main(int argc, char **argv)
{
	uint64_t mib = argc > 1 ? strtoull(argv[1], nullptr, 0) : 1024;
	std::string dir = argc > 2 ? argv[2] : "/tmp";
	std::string payload = dir + "/crv-bench-payload." + std::to_string(getpid());
	std::string image = dir + "/crv-bench-image." + std::to_string(getpid());

	write_random(payload, mib << 20);
	imgbuilder::write_container(image, {{.name = "rootfs", .target = "/dev/mmcblk0p8", .file = payload}});
	unlink(payload.c_str());

	double bytes = double(mib << 20);
	time_md5sum(image); // warm the page cache
	double best_md5sum = 1e9, best_verify = 1e9;
	for (int round = 0; round < 3; round++) {
		best_md5sum = std::min(best_md5sum, time_md5sum(image));
		best_verify = std::min(best_verify, time_verify(image));
	}
	unlink(image.c_str());

	printf("container: %llu MiB\n", (unsigned long long)mib);
	printf("md5sum:                        %.3f s  %.0f MB/s\n", best_md5sum, bytes / best_md5sum / 1e6);
	printf("crv_ostrel_verify_whole_image: %.3f s  %.0f MB/s\n", best_verify, bytes / best_verify / 1e6);
	printf("throughput ratio (verify / md5sum): %.2fx\n", best_md5sum / best_verify);
	return 0;
}
