// Runs the updater with its console in a file and, while it runs, reads back
// the page that /dev/fb0 scans out. Each frame is labelled with the stretch of
// the run it was taken in ("verifying" while the image is checked,
// "updating-<image>" while an image is written, "final" after the end); the
// last frame of each label is kept as <dir>/<label>.rle and listed in
// <dir>/frames as "label width height grabs" (grabs: frames read under that
// label). The file holds the frame's pixels
// (4 bytes each: blue, green, red, alpha; rows without padding) as runs of
// one pixel value: a little-endian u32 count, then the pixel.
// A run that prints its failure line is ended LINGER seconds later (the
// updater never exits after a failed update). A run that stops itself (the
// power cut the test build places with CRV_CUT_AT) loses power there: the
// updater and everything it started are killed. Prints one line at the end:
// "fwshot: exit N", "fwshot: hung", "fwshot: cut" or "fwshot: timeout".
//
//   fwshot [-f DIR] LOG LINGER DEADLINE -- PROGRAM ARGS...
#include <errno.h>
#include <fcntl.h>
#include <linux/fb.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_LABELS 32

static char *slurp(const char *path)
{
	int fd = open(path, O_RDONLY);
	if (fd < 0)
		return strdup("");
	size_t cap = 65536, len = 0;
	char *buf = malloc(cap + 1);
	for (;;) {
		if (len == cap) {
			cap *= 2;
			buf = realloc(buf, cap + 1);
		}
		ssize_t n = read(fd, buf + len, cap - len);
		if (n <= 0)
			break;
		len += (size_t)n;
	}
	close(fd);
	buf[len] = '\0';
	return buf;
}

// The stretch of the run that the console shows so far ("" before the check).
static void label_of(const char *out, char *label, size_t size)
{
	label[0] = '\0';
	if (!strstr(out, "Verifing image checksum"))
		return;
	if (!strstr(out, "verify success!")) {
		snprintf(label, size, "verifying");
		return;
	}
	if (strstr(out, "upgrade-ok") || strstr(out, "upgrade-failed") || strstr(out, "Update fail!"))
		return;
	// The image named by the last "updating <name> to <target> ..." line.
	const char *last = NULL, *p = out;
	while ((p = strstr(p, "updating ")) != NULL) {
		if (p == out || p[-1] == '\n')
			last = p;
		p++;
	}
	if (!last) {
		snprintf(label, size, "updating");
		return;
	}
	last += strlen("updating ");
	size_t n = strcspn(last, " \n");
	if (n > 24)
		n = 24;
	snprintf(label, size, "updating-%.*s", (int)n, last);
}

struct fb {
	int fd;
	uint8_t *mem;
	size_t len;
	struct fb_fix_screeninfo fix;
};

static int fb_open(struct fb *fb)
{
	fb->fd = open("/dev/fb0", O_RDWR);
	if (fb->fd < 0)
		return -1;
	if (ioctl(fb->fd, FBIOGET_FSCREENINFO, &fb->fix) != 0)
		return -1;
	fb->len = fb->fix.smem_len;
	fb->mem = mmap(NULL, fb->len, PROT_READ, MAP_SHARED, fb->fd, 0);
	return fb->mem == MAP_FAILED ? -1 : 0;
}

// Copies the page scanned out now into `px` (width x height x 4). Fails when
// the page flipped while it was read.
static int fb_grab(struct fb *fb, uint8_t *px, unsigned *w, unsigned *h)
{
	struct fb_var_screeninfo a, b;
	if (ioctl(fb->fd, FBIOGET_VSCREENINFO, &a) != 0)
		return -1;
	size_t line = fb->fix.line_length, row = (size_t)a.xres * 4;
	if (a.bits_per_pixel != 32 || line < row || (size_t)(a.yoffset + a.yres) * line > fb->len)
		return -1;
	for (unsigned y = 0; y < a.yres; y++)
		memcpy(px + y * row, fb->mem + (size_t)(a.yoffset + y) * line, row);
	if (ioctl(fb->fd, FBIOGET_VSCREENINFO, &b) != 0 || b.yoffset != a.yoffset)
		return -1;
	*w = a.xres;
	*h = a.yres;
	return 0;
}

struct kept {
	char label[40];
	unsigned w, h, grabs;
};

static void keep(const char *dir, struct kept *kept, int *count, const char *label, const uint8_t *px, unsigned w,
		 unsigned h)
{
	char path[256];
	snprintf(path, sizeof(path), "%s/%s.rle", dir, label);
	FILE *fp = fopen(path, "wb");
	if (!fp)
		return;
	const uint32_t *p = (const uint32_t *)px;
	size_t n = (size_t)w * h;
	for (size_t i = 0; i < n;) {
		uint32_t run = 1;
		while (i + run < n && p[i + run] == p[i])
			run++;
		fwrite(&run, 4, 1, fp);
		fwrite(&p[i], 4, 1, fp);
		i += run;
	}
	fclose(fp);
	int i;
	for (i = 0; i < *count && strcmp(kept[i].label, label) != 0; i++)
		;
	if (i == *count) {
		if (*count == MAX_LABELS)
			return;
		(*count)++;
		kept[i].grabs = 0;
	}
	kept[i].grabs++;
	snprintf(kept[i].label, sizeof(kept[i].label), "%s", label);
	kept[i].w = w;
	kept[i].h = h;
}

static double now(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
	const char *dir = NULL;
	int a = 1;
	if (argc > 2 && strcmp(argv[1], "-f") == 0) {
		dir = argv[2];
		a = 3;
	}
	if (argc - a < 5 || strcmp(argv[a + 3], "--") != 0) {
		fprintf(stderr, "usage: fwshot [-f DIR] LOG LINGER DEADLINE -- PROGRAM ARGS...\n");
		return 2;
	}
	const char *log = argv[a];
	double linger = atof(argv[a + 1]), deadline = atof(argv[a + 2]);
	char **cmd = argv + a + 4;

	struct fb fb = {.fd = -1};
	uint8_t *px = NULL;
	struct kept kept[MAX_LABELS];
	int kept_count = 0;
	if (dir) {
		mkdir(dir, 0755);
		if (fb_open(&fb) != 0) {
			fprintf(stderr, "fwshot: /dev/fb0: %s\n", strerror(errno));
			return 2;
		}
		px = malloc(fb.len);
	}

	prctl(PR_SET_CHILD_SUBREAPER, 1);
	double t0 = now();
	pid_t pid = fork();
	if (pid == 0) {
		setpgid(0, 0); // a group of its own, for the power cut
		int fd = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
		dup2(fd, 1);
		dup2(fd, 2);
		close(fd);
		execv(cmd[0], cmd);
		_exit(127);
	}
	int status = 0;
	double end_at = -1;
	const char *result = NULL;
	for (;;) {
		if (waitpid(pid, &status, WNOHANG | WUNTRACED) == pid) {
			if (WIFSTOPPED(status)) {
				result = "cut";
				kill(-pid, SIGKILL);
				waitpid(pid, &status, 0);
				// What the updater started is ours now (we reap
				// orphans): gone, with its open files, before the
				// caller unmounts what it wrote to.
				while (wait(NULL) > 0 || errno == EINTR)
					;
			}
			break;
		}
		char *out = slurp(log);
		double t = now() - t0;
		if (end_at < 0 && strstr(out, "\r\nupgrade-failed\r\n"))
			end_at = t + linger;
		if ((end_at >= 0 && t >= end_at) || t >= deadline) {
			result = end_at >= 0 ? "hung" : "timeout";
			free(out);
			kill(pid, SIGKILL);
			waitpid(pid, &status, 0);
			break;
		}
		char label[40], after[40];
		label_of(out, label, sizeof(label));
		free(out);
		unsigned w, h;
		if (dir && label[0] && fb_grab(&fb, px, &w, &h) == 0) {
			// Kept only when the run is still in the same stretch.
			out = slurp(log);
			label_of(out, after, sizeof(after));
			free(out);
			if (strcmp(label, after) == 0)
				keep(dir, kept, &kept_count, label, px, w, h);
		}
		usleep(dir ? 20000 : 100000);
	}
	unsigned w, h;
	if (dir && fb_grab(&fb, px, &w, &h) == 0)
		keep(dir, kept, &kept_count, "final", px, w, h);
	if (dir) {
		char path[256];
		snprintf(path, sizeof(path), "%s/frames", dir);
		FILE *fp = fopen(path, "w");
		for (int i = 0; fp && i < kept_count; i++)
			fprintf(fp, "%s %u %u %u\n", kept[i].label, kept[i].w, kept[i].h, kept[i].grabs);
		if (fp)
			fclose(fp);
	}
	if (result)
		printf("fwshot: %s\n", result);
	else if (WIFEXITED(status))
		printf("fwshot: exit %d\n", WEXITSTATUS(status));
	else
		printf("fwshot: signal %d\n", WTERMSIG(status));
	return 0;
}
