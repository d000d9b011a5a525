#ifndef OSD_MENU_STANDIN_H
#define OSD_MENU_STANDIN_H
#include "ker_osd.h"

struct osd_menu_call {
	int plane;
	unsigned int cmd;
	unsigned long arg;
	unsigned char rec[36];
};
extern struct osd_menu_call gastMenuCalls[64];
extern int giMenuCalls;
extern int giMenuFailNr;
#endif
