#include "KestoView.h"

#include <Bitmap.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <PopUpMenu.h>
#include <TranslationUtils.h>

#include <ControlMessages.h>
#include <TonePlayer.h>

namespace {

// Where the two fields sit: each to the right of its painted caption, the
// note field added last so that it lies above where the frames overlap.
const BRect kVolumeFieldFrame(46, 10, 140, 60);
const BRect kNoteFieldFrame(46, 40, 160, 100);

BPopUpMenu*
NewMenu(const char* title)
{
	return new BPopUpMenu(title, true, true, B_ITEMS_IN_COLUMN);
}

} // namespace

KestoView::KestoView(BRect frame)
	:
	BView(frame, "KestoView", B_FOLLOW_ALL_SIDES, B_WILL_DRAW),
	fPlayer(new TonePlayer)
{
	// The player is already running, silently; these are the settings it
	// starts from: a tone at 440 Hz, muted.
	fPlayer->SetNoise(false);
	fPlayer->SetFrequency(440);
	fPlayer->SetLevel(-120);
}

KestoView::~KestoView()
{
	// Deleting the player stops the sound; the fields, menus and items go
	// with the base class.
	delete fPlayer;
	fPlayer = NULL;
}

void
KestoView::AttachedToWindow()
{
	BBitmap* background = BTranslationUtils::GetBitmap('BMP ', 1);
	if (background != NULL) {
		SetViewBitmap(background, B_FOLLOW_TOP | B_FOLLOW_LEFT,
			B_TILE_BITMAP);
		// The view keeps its own copy of the picture.
		delete background;
	}

	BPopUpMenu* volumeMenu = NewMenu("Mute");
	for (int32 i = 0; i < kLevelPresetCount; i++) {
		BMenuItem* item = new BMenuItem(LevelPresets[i].label,
			MakeLevelMessage(LevelPresets[i]), 0, 0);
		item->SetTarget(this, NULL);
		volumeMenu->AddItem(item);
	}
	BMenuField* volumeField = new BMenuField(kVolumeFieldFrame, "", "",
		volumeMenu, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
	volumeField->SetDivider(0);
	AddChild(volumeField);

	BPopUpMenu* noteMenu = NewMenu("A(440)");
	for (int32 i = 0; i < kNotePresetCount; i++) {
		BMenuItem* item = new BMenuItem(NotePresets[i].label,
			MakeFreqMessage(NotePresets[i]), 0, 0);
		item->SetTarget(this, NULL);
		noteMenu->AddItem(item);
	}
	BMenuField* noteField = new BMenuField(kNoteFieldFrame, "", "", noteMenu,
		B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
	noteField->SetDivider(0);
	AddChild(noteField);
}

void
KestoView::MessageReceived(BMessage* message)
{
	if (!DispatchControlMessage(message, fPlayer))
		BView::MessageReceived(message);
}
