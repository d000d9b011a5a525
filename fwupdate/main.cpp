// fwupdate: writes one firmware image file to this set, reporting its
// progress on the screen, on the status LED and as console tags.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "crv_container.h"
#include "crv_emmc_boot.h"
#include "crv_ostrel_ctx.h"
#include "crv_repartition.h"
#include "crv_stbc.h"
#include "crv_system.h"
#include "crv_update.h"
#include "event_reaction.h"
#include "fwupdate_state.h"
#include "gray_list.h"
#include "screen_ui.h"
#include "status_led.h"
#include "storage_buffers.h"
#include "update_policy.h"


namespace {

constexpr const char *ERASE_MARK = "ERASEDB";

ScreenRecoveryUI *screen;

// A failure main reports itself: console tag, then the red screen text.
void report(const char *tag, const char *text)
{
	puts(tag);
	screen->SetLogVisible(true);
	screen->ShowColoredMessage(SCREEN_RED, "%s", text);
}

void release()
{
	release_gray_image_list();
	led_release();
}

// Marks the apdat partition for erasure at the next start.
void write_erase_mark()
{
	int fd = open(FWUP_APDAT_DEVICE, O_RDWR);
	if (fd < 0)
		return;
	if (write(fd, ERASE_MARK, 7) == 7)
		fsync(fd);
	close(fd);
}

void bind_writers()
{
	crv_ostrel_register_img_cb("stbc", crv_ostrel_spi_stbc_update_cb, nullptr);
	crv_ostrel_register_img_cb("ostrel", crv_ostrel_bypass_update_cb, nullptr);
	crv_ostrel_register_img_cb("install_icon", crv_ostrel_bypass_update_cb, nullptr);
	crv_ostrel_set_default_img_cb(my_default_update_cb, crv_ostrel_get_progress());
	crv_ostrel_set_format_cb(my_format_filter_cb, nullptr);
	crv_ostrel_set_gpt_remount_cb(my_tmp_mount_cb, my_tmp_umount_cb, &tmp_mount_cfg);
	crv_ostrel_register_img_cb("part_tbl", crv_ostrel_update_gpt_cb, nullptr);
	crv_ostrel_register_img_cb("gray_image", my_gray_image_list_cb, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
	// Every console tag must reach a pipe at once, also the last one before
	// the endless wait after a failed update.
	setvbuf(stdout, nullptr, _IOLBF, 0);

	if (argc != 2) {
		printf("Usage:%s update_file_name\n", argc > 0 ? argv[0] : "fwupdate");
		return -1;
	}
	const char *image = argv[1];
	printf("Build date: %s %s\n", __DATE__, __TIME__);

	init_gray_image_list();
	crv_ostrel_init_adc_timer();

	// The screen and its threads live until the process ends.
	screen = new ScreenRecoveryUI();
	screen->ScreenRecoveryUI::ApplyLocale(nullptr);
	screen->SetBarOptions(0, 1);
	screen->Initialize();
	screen->SelectStatusIcon(ScreenRecoveryUI::ICON_INSTALLING);

	crv_ostrel_set_event_cb(my_update_event_cb, screen);

	struct stat st;
	if (stat(image, &st) != 0) {
		printf("update file %s not exist, abort update !\n", image);
		report("mw>>upgrade-err-File not found\r", "ERROR: File not found!");
		release_gray_image_list();
		return -1;
	}
	if (led_init(FWUP_MEM_DEVICE) != 0) {
		puts("Unable to init led !");
		report("mw>>upgrade-err-System error\r", "ERROR: System error!");
		release();
		return -1;
	}
	if (led_start_thread() != 0) {
		puts("create led thread fail !");
		report("mw>>upgrade-err-System error\r", "ERROR: System error!");
		release();
		return -1;
	}
	led_mode.store(LED_BLINK);

	crv_ostrel_set_mount_point(FWUP_DATA_MOUNT);
	crv_ostrel_set_tmp_folder(FWUP_TMP_FOLDER);
	crv_ostrel_set_misc_device(FWUP_MISC_DEVICE);

	init_storage_buffers();
	bind_writers();

	screen->SetProgressMode(ScreenRecoveryUI::PROGRESS_DETERMINATE);
	screen->BeginProgressSegment(0.25f, 60.0f);
	screen->SetSegmentFraction(0.0f);

	FILE *fp = fopen(image, "rb");
	if (!fp) {
		printf("open file %s failed!\n", image);
		led_mode.store(LED_ERROR);
		report("mw>>upgrade-err-Read image failed\r", "ERROR: Read image failed!");
		release();
		return -1;
	}

	puts("Verifing image checksum.....");
	int rc = crv_ostrel_verify_whole_image(fp);
	if (rc != 0) {
		puts("verify failed!");
		// A digest mismatch has already been reported by the event reaction.
		if (update_done.load() != UPDATE_FAILED) {
			led_mode.store(LED_ERROR);
			report("mw>>upgrade-err-Invalid image\r", "ERROR: Invalid image!");
		}
		release();
		return rc;
	}
	puts("verify success!");
	fclose(fp);

	screen->BeginProgressSegment(0.75f, 600.0f);
	if (crv_ostrel_start_update_thread(image) != 0) {
		led_mode.store(LED_ERROR);
		report("mw>>upgrade-err-System error\r", "ERROR: System error!");
		release();
		return -1;
	}

	do {
		sleep(2);
		puts("Updating......");
	} while (update_done.load() == UPDATE_RUNNING);

	if (update_done.load() == UPDATE_FAILED) {
		puts("\r\nupgrade-failed\r");
		for (;;)
			pause();
	}

	crv_ostrel_system("rm -fr /data/.fwup");
	sync();
	// apdat is mounted at /data: unmount it by its mount point.
	umount(FWUP_DATA_MOUNT);

	if (!gray_list_holds("apdat"))
		write_erase_mark();

	led_mode.store(LED_STEADY);
	led_release_takeover(led_window());

	// A failed flag is reported and the sequence goes on, but the exit
	// status must not claim a clean update.
	const bool flag_failed = crv_ostrel_write_dual_boot_flag(0, 0, 0, 1, 0) != 0;
	if (flag_failed)
		report("mw>>upgrade-err-Set flag failed\r", "ERROR: Set flag failed!");

	rc = crv_ostrel_set_emmc_boot_part(FWUP_BOOT_EMMC, 1);
	if (rc != 0) {
		report("mw>>upgrade-err-Set boot part failed\r", "ERROR: Set boot part failed!");
		sleep(2);
		release();
		return rc;
	}

	puts("\r\nupgrade-ok\r");
	puts("mw>>upgrade-ok\r");
	set_upenv_flag();
	screen->SetLogVisible(true);
	screen->ShowColoredMessage(SCREEN_WHITE, "Update finished! Reboot system!");
	sleep(2);
	release();
	return flag_failed ? -1 : 0;
}
