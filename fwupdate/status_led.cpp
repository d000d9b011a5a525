#include "status_led.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "fwupdate_state.h"

namespace {

int mem_fd = -1;
volatile uint8_t *window = nullptr;
std::atomic<bool> thread_started{false};

volatile uint32_t &reg(volatile uint8_t *w, std::size_t offset)
{
	return *reinterpret_cast<volatile uint32_t *>(w + offset);
}

void set_bits(volatile uint8_t *w, std::size_t offset, uint32_t bits)
{
	reg(w, offset) = reg(w, offset) | bits;
}

void clear_bits(volatile uint8_t *w, std::size_t offset, uint32_t bits)
{
	reg(w, offset) = reg(w, offset) & ~bits;
}

} // namespace

void led_take_over(volatile uint8_t *w)
{
	set_bits(w, LED_REG_TAKEOVER, LED_TAKEOVER_BIT);
	set_bits(w, LED_REG_TAKEOVER2, LED_BIT7);
	set_bits(w, LED_REG_TAKEOVER3, LED_BIT7);
}

void led_release_takeover(volatile uint8_t *w)
{
	clear_bits(w, LED_REG_TAKEOVER, LED_TAKEOVER_BIT);
}

void led_apply(int mode, int *phase, volatile uint8_t *w)
{
	switch (mode) {
	case LED_ERROR:
		clear_bits(w, LED_REG_LEVEL, LED_BIT7);
		break;
	case LED_STEADY:
		set_bits(w, LED_REG_LEVEL, LED_BIT7);
		break;
	case LED_BLINK:
		*phase = !*phase;
		if (*phase)
			set_bits(w, LED_REG_LEVEL, LED_BIT7);
		else
			clear_bits(w, LED_REG_LEVEL, LED_BIT7);
		break;
	default:
		break;
	}
}

int led_init(const char *mem_path)
{
	mem_fd = open(mem_path, O_RDWR | O_CLOEXEC);
	if (mem_fd < 0)
		return -1;
	void *p = mmap(nullptr, LED_WINDOW_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, mem_fd,
		       static_cast<off_t>(LED_WINDOW_PHYS));
	if (p == MAP_FAILED)
		return -1;
	window = static_cast<volatile uint8_t *>(p);
	led_take_over(window);
	return 0;
}

void *led_blink_thread(void *)
{
	int phase = 0;
	for (;;) {
		led_apply(led_mode.load(), &phase, window);
		usleep(LED_PERIOD_US);
	}
	return nullptr;
}

int led_start_thread()
{
	if (!window)
		return -1;
	pthread_attr_t attr;
	if (pthread_attr_init(&attr) != 0)
		return -1;
	pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
	pthread_t tid;
	int rc = pthread_create(&tid, &attr, led_blink_thread, nullptr);
	pthread_attr_destroy(&attr);
	if (rc != 0)
		return -1;
	thread_started.store(true);
	return 0;
}

volatile uint8_t *led_window()
{
	return window;
}

void led_release()
{
	if (mem_fd >= 0) {
		close(mem_fd);
		mem_fd = -1;
	}
	if (window && !thread_started.load()) {
		munmap(const_cast<uint8_t *>(window), LED_WINDOW_SIZE);
		window = nullptr;
	}
}

int write_upenv_record(const char *misc_path)
{
	FILE *fp = fopen(misc_path, "rb+");
	if (!fp) {
		printf("Open %s error\n", misc_path);
		return -1;
	}
	upenv_rec rec;
	memset(&rec, 0, sizeof(rec));
	memcpy(rec.tag, "UPENV", 6);
	if (fseek(fp, UPENV_OFFSET, SEEK_SET) != 0) {
		// Writing here would land on the dual-boot record at offset 0.
		printf("Seek to %d error!\n", static_cast<int>(UPENV_OFFSET));
		fclose(fp);
		return -1;
	}
	bool ok = fwrite(&rec, 1, sizeof(rec), fp) == sizeof(rec);
	// Only what reached the device counts as written.
	ok = fflush(fp) == 0 && ok;
	ok = fsync(fileno(fp)) == 0 && ok;
	ok = fclose(fp) == 0 && ok;
	puts(ok ? "Set Env usb_up_complete_flag" : "Set Env flag error");
	return ok ? 0 : -1;
}

void set_upenv_flag()
{
	write_upenv_record(FWUP_MISC_DEVICE);
}
