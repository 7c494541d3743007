/*
 * What a window shows a screen reader, read from its views: the window as
 * a frame (or an alert), a view holding others as a panel, a menu field as
 * a combo box with its menu and the menu's items under it, an alert's text
 * as labels and its buttons as push buttons. The accessibility kit gets it
 * as a snapshot after every message the window handles, while a screen
 * reader may be listening, and sends a screen reader's actions back as
 * kMsgAccessibleAction, which the window carries out as the user's input.
 *
 * Threads: everything here runs on the window's thread, or with the window
 * locked, like the views it reads.
 */
#ifndef _PRIVATE_WINDOW_ACCESSIBLE_H
#define _PRIVATE_WINDOW_ACCESSIBLE_H

#include <memory>

#include <Rect.h>
#include <private/AccessibleSnapshot.h>

class BMenuField;
class BMessage;
class BWindow;

namespace BPrivate {

enum {
	// accessibility thread -> window: "node" (int32), "action" (int32)
	kMsgAccessibleAction = '_AAC',
	// accessibility thread -> window: publish a snapshot now
	kMsgAccessiblePublish = '_APB',
};

class AccessibleViews {
public:
	// The window's snapshot, or null for a window a screen reader does not
	// see on its own (an open menu, which its field describes).
	static std::shared_ptr<AccessibleSnapshot> Snapshot(BWindow* window);
	// Publishes the window's snapshot if a screen reader may be listening.
	static void Publish(BWindow* window);
	// Carries out kMsgAccessibleAction (kMsgAccessiblePublish needs
	// nothing but the snapshot that follows every message); false for any
	// other message.
	static bool Perform(BWindow* window, BMessage* message);
	// Starts the accessibility kit once the program's first window is up.
	static void StartListening();

	// What a menu field keeps of its open menu for screen readers: where
	// it is on the screen, and its highlighted row (-1 for none).
	static BRect MenuFrame(const BMenuField* field);
	static int32 MenuHighlight(const BMenuField* field);
};

} // namespace BPrivate

#endif // _PRIVATE_WINDOW_ACCESSIBLE_H
