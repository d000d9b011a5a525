// The OSD framebuffer model, offered to whole programs under the name
// "osdfb" in $CRV_DEVSIM files:
//     /dev/fb0 osdfb xres=1920 yres=1080 state=/tmp/fb.state
// The node is a regular file of at least smem_len bytes placed by the test.
// After every call the model writes "<xres> <yres> <line bytes> <yoffset>"
// to the state file, so that a test can find the frame last shown.
#include <cstdio>

#include "devmodels.h"
#include "fb_model.h"

namespace {

class OsdFb : public devmodels::Model {
public:
	explicit OsdFb(const devmodels::Params &p) : Model(p)
	{
		fb_.xres = static_cast<uint32_t>(p.get_u64("xres", 1920));
		fb_.yres = static_cast<uint32_t>(p.get_u64("yres", 1080));
		fb_.line_length = fb_.xres * 4;
		fb_.smem_len = 2 * fb_.line_length * fb_.yres;
		fb_.stride = fb_.line_length;
		fb_.disp_win = {{0, 0, fb_.xres, fb_.yres}, {0, 0, fb_.xres, fb_.yres}};
		fb_var_screeninfo &v = fb_.var;
		v.xres = v.xres_virtual = fb_.xres;
		v.yres = v.yres_virtual = fb_.yres;
		v.bits_per_pixel = 32;
		v.blue = {0, 8, 0};
		v.green = {8, 8, 0};
		v.red = {16, 8, 0};
		v.transp = {24, 8, 0};
		state_ = p.get("state");
		if (p.has("log"))
			set_log(p.get("log"));
	}

	int ioctl(int, unsigned long request, void *arg) override
	{
		std::lock_guard<std::mutex> g(lock_);
		int rc = fb_.handle(request, arg);
		if (!state_.empty()) {
			if (FILE *f = fopen(state_.c_str(), "w")) {
				fprintf(f, "%u %u %u %u\n", fb_.xres, fb_.yres, fb_.line_length, fb_.var.yoffset);
				fclose(f);
			}
		}
		return rc;
	}

private:
	devmodels::FbOsdModel fb_;
	std::string state_;
};

} // namespace

CRV_DEVMODEL("osdfb", OsdFb);
