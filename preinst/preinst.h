// Pre-install steps: run before the updater, from the same firmware image.
#pragma once

#include <cstdio>

// Copies the image "install_icon" over the updater's installing icon.
// Negative on failure.
int replace_install_icon(FILE *img);

// Writes the image "sys_run" to /tmp/sys_run.tgz and unpacks it into /tmp.
// The shell's status for the unpacking command, or negative on failure.
int extract_sys_run(FILE *img);

int preinst_main(int argc, char **argv);
