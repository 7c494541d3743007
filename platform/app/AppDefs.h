/*
 * Message codes the kits send and understand.
 */
#ifndef _APP_DEFS_H
#define _APP_DEFS_H

#include <SupportDefs.h>

enum {
	B_ABOUT_REQUESTED = '_ABR',
	B_QUIT_REQUESTED = '_QRQ',
	B_READY_TO_RUN = '_RTR',
	B_WINDOW_ACTIVATED = '_ACT',
	B_MOUSE_DOWN = '_MDN',
	B_MOUSE_UP = '_MUP',
	B_MOUSE_MOVED = '_MMV',
	B_KEY_DOWN = '_KYD',
	B_KEY_UP = '_KUP',
	B_VIEW_RESIZED = '_VRS',
};

// Launch flags an application carries in its resources.
enum {
	B_SINGLE_LAUNCH = 0x0,
	B_MULTIPLE_LAUNCH = 0x1,
	B_EXCLUSIVE_LAUNCH = 0x2,
};

#endif // _APP_DEFS_H
