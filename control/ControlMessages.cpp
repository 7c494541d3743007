#include "ControlMessages.h"

#include "TonePlayer.h"

const LevelPreset LevelPresets[kLevelPresetCount] = {
	{ "Unity", 0 },
	{ "-3 dB", -3 },
	{ "-10 dB", -10 },
	{ "-20 dB", -20 },
	{ "Mute", -120 },
};

const NotePreset NotePresets[kNotePresetCount] = {
	{ "Guitar", 0.0 },
	{ "E (Low)", 329.6276 },
	{ "A (440Hz)", 440.0 },
	{ "D", 587.3295 },
	{ "G", 783.9909 },
	{ "B", 987.7666 },
	{ "E (High)", 1318.51 },
	{ "", 0.0 },
	{ "Bass", 0.0 },
	{ "E (Bass)", 164.8138 },
	{ "A (220Hz)", 220.0 },
	{ "D", 293.6648 },
	{ "G", 391.9954 },
};

BMessage*
MakeLevelMessage(const LevelPreset& preset)
{
	BMessage* message = new BMessage(LevelMsg);
	message->AddInt16("level", int16(preset.dB));
	return message;
}

BMessage*
MakeFreqMessage(const NotePreset& preset)
{
	BMessage* message = new BMessage(FreqMsg);
	// The conversion truncates toward zero: 1318.51 Hz travels as 1318.
	message->AddInt16("freq", int16(preset.hz));
	return message;
}

bool
DispatchControlMessage(const BMessage* message, TonePlayer* player)
{
	switch (message->what) {
		case LevelMsg:
		{
			int16 level;
			if (message->FindInt16("level", &level) == B_OK)
				player->SetLevel(level);
			return true;
		}
		case FreqMsg:
		{
			int16 freq;
			if (message->FindInt16("freq", &freq) != B_OK)
				return true;
			if (freq <= 9) {
				// No note: the tone glides out, and keeps its pitch for
				// when a note comes back.
				player->SetNoise(true);
			} else {
				player->SetNoise(false);
				player->SetFrequency(freq);
			}
			return true;
		}
		default:
			return false;
	}
}
