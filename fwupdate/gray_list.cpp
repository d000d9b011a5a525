#include "gray_list.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "fwupdate_state.h"

gray_image_list_t gray_image_list;

namespace {

constexpr std::size_t CMDLINE_READ_MAX = 2048;

void reset_names()
{
	free(gray_image_list.pool);
	gray_image_list.pool = nullptr;
	gray_image_list.count = 0;
	memset(gray_image_list.offsets, 0, sizeof(gray_image_list.offsets));
}

bool is_space(char c)
{
	return isspace(static_cast<unsigned char>(c)) != 0;
}

// Splits the pool into maximal runs of non-space characters, terminating
// each in place. Names beyond the table's size are dropped.
void split_names(char *pool, std::size_t size)
{
	std::size_t pos = 0;
	bool dropped = false;
	for (;;) {
		while (pos < size && is_space(pool[pos]))
			pos++;
		if (pos >= size || pool[pos] == '\0')
			break;
		std::size_t start = pos;
		while (pos < size && pool[pos] != '\0' && !is_space(pool[pos]))
			pos++;
		bool at_end = pos >= size || pool[pos] == '\0';
		pool[pos] = '\0';
		if (gray_image_list.count < GRAY_LIST_MAX_NAMES) {
			gray_image_list.offsets[gray_image_list.count++] = static_cast<uint32_t>(start);
			trim_trailing_space(pool + start);
		} else {
			dropped = true;
		}
		if (at_end)
			break;
		pos++;
	}
	if (dropped)
		printf("gray list holds %d names, the rest is ignored\n", GRAY_LIST_MAX_NAMES);
}

} // namespace

int gray_enable_from_cmdline(std::string_view cmdline)
{
	std::size_t at = cmdline.find(GRAY_CMDLINE_KEY);
	if (at == std::string_view::npos)
		return 0;
	std::string_view rest = cmdline.substr(at + strlen(GRAY_CMDLINE_KEY));
	// A bounded, terminated copy of what follows the key for strtol.
	char num[24] = {};
	std::size_t n = rest.size() < sizeof(num) - 1 ? rest.size() : sizeof(num) - 1;
	memcpy(num, rest.data(), n);
	long value = strtol(num, nullptr, 10);
	return value >= 1 && value <= 3 ? static_cast<int>(value) : 0;
}

int init_gray_image_list()
{
	reset_names();
	gray_image_list.enable = 0;
	FILE *fp = fopen(FWUP_CMDLINE, "r");
	if (fp) {
		char buf[CMDLINE_READ_MAX + 1];
		std::size_t n = fread(buf, 1, CMDLINE_READ_MAX, fp);
		fclose(fp);
		gray_image_list.enable = gray_enable_from_cmdline(std::string_view(buf, n));
	}
	printf("gray_image_enable=%d\n", gray_image_list.enable);
	return 0;
}

char *trim_trailing_space(char *text)
{
	if (!text || !*text)
		return text;
	std::size_t n = strlen(text);
	while (n > 0 && is_space(text[n - 1]))
		text[--n] = '\0';
	return text;
}

int gray_list_load(FILE *stream, uint64_t length, const char *image_name)
{
	if (length == 0) {
		printf("%s is empty!\n", image_name);
		return 0;
	}
	if (length > GRAY_LIST_MAX_PAYLOAD) {
		printf("%s read pimg fail !\n", "my_gray_image_list_cb");
		return -5;
	}
	std::size_t size = static_cast<std::size_t>(length);
	char *copy = static_cast<char *>(malloc(size + 1));
	if (!copy) {
		printf("malloc failed! (%lld)\n", static_cast<long long>(length));
		return 0;
	}
	if (!stream || fread(copy, 1, size, stream) != size) {
		printf("%s read pimg fail !\n", "my_gray_image_list_cb");
		free(copy);
		return -5;
	}
	copy[size] = '\0';
	reset_names();
	gray_image_list.pool = copy;
	split_names(copy, size);
	return 0;
}

bool gray_list_holds(const char *name)
{
	if (!gray_image_list.enable || !gray_image_list.pool || !name)
		return false;
	for (int i = 0; i < gray_image_list.count; i++)
		if (strcmp(gray_image_list.pool + gray_image_list.offsets[i], name) == 0)
			return true;
	return false;
}

void release_gray_image_list()
{
	reset_names();
}
