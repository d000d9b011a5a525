// Start-up hook of programs built with crv_devsim_program(): installs the
// simulated devices listed in the file named by $CRV_DEVSIM.
#include "devmodels.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

struct Autoload {
	Autoload()
	{
		const char *config = getenv("CRV_DEVSIM");
		if (!config || !*config)
			return;
		std::string error;
		if (devmodels::load_config(config, &error) < 0) {
			fprintf(stderr, "devsim: %s: %s\n", config, error.c_str());
			_exit(125);
		}
	}
};

// An ordinary static initialiser: it runs after the models' registrations,
// which have a higher initialisation priority (CRV_DEVMODEL).
const Autoload autoload;

} // namespace
