// Throughput of the eMMC writer's sparse and copy paths against the usual
// tools on the same input, measured in one run. Build with the release preset
// and run as root (the writer uses fixed paths, so it runs in a sandbox):
//     build/release/tests/engine/engine_emmc_writer_bench [MiB]
// Exits non-zero when a row fails or the outputs differ (2: no sandbox);
// the tests run it on 8 MiB.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "crv_emmc_writer.h"
#include "crv_ostrel_ctx.h"
#include "crv_sparse.h"
#include "sandbox.h"

namespace {

double best_of(int runs, const std::function<bool()> &fn)
{
	double best = 1e30;
	for (int i = 0; i < runs; i++) {
		auto t0 = std::chrono::steady_clock::now();
		if (!fn())
			return -1;
		std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
		best = std::min(best, d.count());
	}
	return best;
}

// A file of mib MiB: three quarters data, then zeros, a hole, and a run of
// one repeated word.
bool make_plain(const char *path, unsigned mib)
{
	int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
	if (fd < 0)
		return false;
	std::vector<uint64_t> buf((1 << 20) / 8);
	std::mt19937_64 rng(7);
	const uint64_t MiB = 1 << 20;
	for (unsigned i = 0; i < mib; i++) {
		unsigned q = i * 16 / mib;
		if (q == 12 || q == 13)
			continue; // hole
		for (auto &w : buf)
			w = q < 12 ? rng() : q == 14 ? 0 : 0xa5a5a5a5a5a5a5a5ull;
		if (pwrite(fd, buf.data(), MiB, static_cast<off_t>(i * MiB)) != static_cast<ssize_t>(MiB))
			return false;
	}
	bool ok = ftruncate(fd, static_cast<off_t>(mib * MiB)) == 0;
	return close(fd) == 0 && ok;
}

// The writer writes to targets that exist, as partitions do.
bool make_target(const char *path)
{
	int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
	return fd >= 0 && close(fd) == 0;
}

int write_image(const char *name, const char *compress, const char *payload, const char *target)
{
	crv_per_img_hdr h;
	memset(&h, 0, sizeof(h));
	memcpy(h.magic, "PIMG", 4);
	struct stat st {};
	stat(payload, &st);
	h.length = static_cast<uint64_t>(st.st_size);
	strncpy(h.name, name, sizeof(h.name) - 1);
	strncpy(h.target, target, sizeof(h.target) - 1);
	strncpy(h.compress, compress, sizeof(h.compress) - 1);
	crv_per_img_handle handle {fopen(payload, "rb"), h.length, 0};
	return crv_ostrel_emmc_common_update_cb(&h, &handle, crv_ostrel_get_progress());
}

int bench(unsigned mib)
{
	crv_ostrel_set_tmp_folder("/tmp/fwup");
	crv_ostrel_get_progress()->total = 1ull << 40;
	if (!make_plain("/tmp/plain.img", mib) || system("img2simg /tmp/plain.img /tmp/in.simg") != 0 ||
	    !make_target("/tmp/out_cb.img") || !make_target("/tmp/out_none.img")) {
		fprintf(stderr, "cannot make the input\n");
		return 1;
	}
	// Keep the writer's console lines out of the figures.
	fflush(stdout);
	int saved = dup(STDOUT_FILENO);
	int null = open("/dev/null", O_WRONLY);
	dup2(null, STDOUT_FILENO);

	const int runs = 3;
	double tool = best_of(runs, [] { return system("simg2img /tmp/in.simg /tmp/out_tool.img") == 0; });
	// The sparse branch's own work on the staged file: import, progress, write.
	double object = best_of(runs, [] {
		int in = open("/tmp/in.simg", O_RDONLY);
		int out = open("/tmp/out_obj.img", O_WRONLY | O_CREAT | O_TRUNC, 0664);
		crv_sparse_file *s = crv_sparse_file_import(in, true, false);
		bool ok = s != nullptr;
		if (ok) {
			crv_ostrel_sparse_set_progress(s, crv_ostrel_get_progress());
			ok = crv_sparse_file_write(s, out, false, false, false) == 0;
			crv_sparse_file_destroy(s);
		}
		close(in);
		close(out);
		return ok;
	});
	// The whole writer call, staging copy included.
	double writer = best_of(runs, [] { return write_image("sp", "sparse", "/tmp/in.simg", "/tmp/out_cb.img") == 0; });
	double cp = best_of(runs, [] { return system("cp /tmp/plain.img /tmp/out_cp.img") == 0; });
	double none = best_of(runs, [] { return write_image("raw", "none", "/tmp/plain.img", "/tmp/out_none.img") == 0; });

	fflush(stdout);
	dup2(saved, STDOUT_FILENO);
	bool same = system("cmp -s /tmp/out_tool.img /tmp/out_obj.img && cmp -s /tmp/out_tool.img /tmp/out_cb.img && "
			   "cmp -s /tmp/plain.img /tmp/out_none.img") == 0;
	struct stat st {};
	stat("/tmp/in.simg", &st);
	printf("input: %u MiB expanded, sparse image %.1f MiB; best of %d runs, warm cache\n", mib,
	       static_cast<double>(st.st_size) / (1 << 20), runs);
	printf("simg2img                         %7.3f s\n", tool);
	printf("sparse object import+write       %7.3f s   ratio %.2fx (simg2img time / ours)\n", object, tool / object);
	printf("sparse branch, staging included  %7.3f s   ratio %.2fx\n", writer, tool / writer);
	printf("cp                               %7.3f s\n", cp);
	printf("\"none\" branch (stage + dd)       %7.3f s   ratio %.2fx (cp time / ours)\n", none, cp / none);
	printf("outputs identical: %s\n", same ? "yes" : "NO");
	// A row that failed shows -1.000 s.
	const bool all_ran = tool >= 0 && object >= 0 && writer >= 0 && cp >= 0 && none >= 0;
	if (!all_ran)
		printf("a row failed\n");
	return same && all_ran ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
	unsigned mib = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 512;
	if (auto why = sandbox::unavailable(); !why.empty()) {
		fprintf(stderr, "needs a sandbox: %s\n", why.c_str());
		return 2;
	}
	sandbox::Sandbox box;
	auto r = box.run([&] { return bench(mib); });
	fputs(r.out.c_str(), stdout);
	fputs(r.err.c_str(), stderr);
	return r.ok() ? 0 : 1;
}
