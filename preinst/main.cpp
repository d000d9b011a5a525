#include "preinst.h"

#include <cstdio>

int main(int argc, char **argv)
{
	setvbuf(stdout, nullptr, _IOLBF, 0);
	return preinst_main(argc, argv);
}
