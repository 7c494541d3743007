/*
 * The two control messages that carry the user's choices to the engine,
 * the preset tables the menus are built from, and the rule by which a
 * received message drives the engine.
 *
 * A level travels as a signed 16-bit count of decibels in "level"; a note
 * as a signed 16-bit count of hertz in "freq", where 9 or less means "no
 * note": the level moves to the silent noise channel and the tone glides out.
 */
#ifndef CONTROL_CONTROL_MESSAGES_H
#define CONTROL_CONTROL_MESSAGES_H

#include <Message.h>
#include <SupportDefs.h>

class TonePlayer;

enum {
	LevelMsg = 'cm00',	// int16 "level": master level in dB
	FreqMsg = 'cm01'	// int16 "freq": tone in Hz; 9 or less selects noise
};

struct LevelPreset {
	const char* label;
	int32 dB;
};

struct NotePreset {
	const char* label;
	double hz;
};

const int32 kLevelPresetCount = 5;
const int32 kNotePresetCount = 13;

// The volume menu's items, in menu order.
extern const LevelPreset LevelPresets[kLevelPresetCount];
// The note menu's items, in menu order: the guitar's six strings and the
// bass's four, each four times the open string's pitch, under the headings
// "Guitar" and "Bass" with an empty entry between the groups. The headings
// and the empty entry are ordinary items that silence the tone.
extern const NotePreset NotePresets[kNotePresetCount];

// New messages for a menu item, which takes ownership. A note's frequency
// is truncated toward zero here, when the message is built.
BMessage* MakeLevelMessage(const LevelPreset& preset);
BMessage* MakeFreqMessage(const NotePreset& preset);

// Applies a control message to the player. Returns true for either control
// kind, even when its field is missing or of another type (the message is
// then ignored); false for every other message, which the caller passes on.
bool DispatchControlMessage(const BMessage* message, TonePlayer* player);

#endif // CONTROL_CONTROL_MESSAGES_H
