// Replays fuzz inputs through a target's harness without the fuzzer: each
// argument is an input file or a folder of them. Any fault aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv)
{
	if (LLVMFuzzerInitialize)
		LLVMFuzzerInitialize(&argc, &argv);
	std::vector<std::filesystem::path> inputs;
	for (int i = 1; i < argc; i++) {
		std::filesystem::path p(argv[i]);
		if (std::filesystem::is_directory(p)) {
			for (auto &e : std::filesystem::directory_iterator(p))
				if (e.is_regular_file())
					inputs.push_back(e.path());
		} else {
			inputs.push_back(p);
		}
	}
	std::sort(inputs.begin(), inputs.end());
	for (auto &p : inputs) {
		std::ifstream in(p, std::ios::binary);
		std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		printf("replay %s (%zu bytes)\n", p.c_str(), data.size());
		fflush(stdout);
		LLVMFuzzerTestOneInput(data.data(), data.size());
	}
	printf("replayed %zu inputs\n", inputs.size());
	return 0;
}
