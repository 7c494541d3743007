// The messages the menus send and what each does to the engine.

#include <cstring>
#include <memory>

#include "ControlMessages.h"
#include "../engine/EngineFixture.h"

using namespace engine;

namespace {

TEST(ControlPresets, LevelsInMenuOrder)
{
	const char* labels[] = { "Unity", "-3 dB", "-10 dB", "-20 dB", "Mute" };
	const int16 levels[] = { 0, -3, -10, -20, -120 };
	for (int i = 0; i < kLevelPresetCount; i++) {
		EXPECT_STREQ(LevelPresets[i].label, labels[i]);
		std::unique_ptr<BMessage> message(MakeLevelMessage(LevelPresets[i]));
		EXPECT_EQ(message->what, uint32(LevelMsg));
		int16 level = 1;
		ASSERT_EQ(message->FindInt16("level", &level), B_OK);
		EXPECT_EQ(level, levels[i]) << labels[i];
	}
	EXPECT_EQ(uint32(LevelMsg), 0x636D3030u);
	EXPECT_EQ(uint32(FreqMsg), 0x636D3031u);
}

TEST(ControlPresets, NotesCarryTheirFrequencyTruncated)
{
	const struct { const char* label; int16 freq; } notes[] = {
		{ "Guitar", 0 }, { "E (Low)", 329 }, { "A (440Hz)", 440 }, { "D", 587 },
		{ "G", 783 }, { "B", 987 }, { "E (High)", 1318 }, { "", 0 },
		{ "Bass", 0 }, { "E (Bass)", 164 }, { "A (220Hz)", 220 }, { "D", 293 },
		{ "G", 391 },
	};
	for (int i = 0; i < kNotePresetCount; i++) {
		EXPECT_STREQ(NotePresets[i].label, notes[i].label) << "row " << i;
		std::unique_ptr<BMessage> message(MakeFreqMessage(NotePresets[i]));
		EXPECT_EQ(message->what, uint32(FreqMsg));
		int16 freq = -1;
		ASSERT_EQ(message->FindInt16("freq", &freq), B_OK);
		EXPECT_EQ(freq, notes[i].freq) << "row " << i;
	}
}

class DispatchTest : public EngineTest {
protected:
	bool Send(uint32 what, const char* field, int16 value)
	{
		BMessage message(what);
		message.AddInt16(field, value);
		return DispatchControlMessage(&message, fPlayer);
	}
};

TEST_F(DispatchTest, LevelMessageSetsTheLevel)
{
	EXPECT_TRUE(Send(LevelMsg, "level", -10));
	EXPECT_EQ(TargetLevel, 0.31622776f);
	EXPECT_EQ(TargetToneLevel, 0.31622776f);

	// Nothing bounds a level.
	EXPECT_TRUE(Send(LevelMsg, "level", 6));
	EXPECT_GT(TargetToneLevel, 1.9f);
}

TEST_F(DispatchTest, NineHertzOrLessSelectsNoiseAndKeepsThePitch)
{
	HoldFullGain();
	EXPECT_TRUE(Send(FreqMsg, "freq", 587));
	Render(0, 1);
	double pitch = p;

	for (int16 freq : { 9, 0, -5, -32768 }) {
		EXPECT_TRUE(Send(FreqMsg, "freq", freq));
		EXPECT_TRUE(Noise) << freq;
		EXPECT_EQ(TargetToneLevel, 0.0f) << freq;
		EXPECT_EQ(TargetNoiseLevel, 1.0f) << freq;
		Render(0, 1);
		EXPECT_EQ(p, pitch) << freq;
	}
}

TEST_F(DispatchTest, ANoteLeavesNoiseModeAndRetunes)
{
	HoldFullGain();
	Send(LevelMsg, "level", -10);
	Send(FreqMsg, "freq", 0);
	// While silent, a new level reaches only the noise channel.
	Send(LevelMsg, "level", -20);
	EXPECT_EQ(TargetToneLevel, 0.0f);

	EXPECT_TRUE(Send(FreqMsg, "freq", 10));
	EXPECT_FALSE(Noise);
	EXPECT_EQ(TargetToneLevel, 0.1f);
	Render(0, 1);
	EXPECT_NEAR(p, 2 * cos(6.283185307179586 * 10 / 44100.0), 1e-15);

	EXPECT_TRUE(Send(FreqMsg, "freq", 32767));
	Render(0, 1);
	EXPECT_NEAR(p, 2 * cos(6.283185307179586 * 32767 / 44100.0), 1e-15);
}

TEST_F(DispatchTest, GuitarThenDGlidesBackInAt587)
{
	HoldFullGain();
	Send(LevelMsg, "level", 0);
	Render(512, 1);
	Send(FreqMsg, "freq", 0);		// "Guitar"
	RenderMono(60, 512);
	EXPECT_LT(ToneLevel, 0.1f);

	Send(FreqMsg, "freq", 587);		// "D"
	std::vector<float> out = RenderMono(100, 512);
	EXPECT_GT(ToneLevel, 0.9f);
	std::vector<float> tail(out.end() - 22050, out.end());
	EXPECT_NEAR(MeasureFrequency(tail), 587, 0.1);
}

TEST_F(DispatchTest, MalformedControlMessagesAreConsumedAndIgnored)
{
	fPlayer->SetLevel(-20);
	float before = TargetToneLevel;

	BMessage noField(LevelMsg);
	EXPECT_TRUE(DispatchControlMessage(&noField, fPlayer));
	BMessage wrongType(LevelMsg);
	wrongType.AddInt32("level", 0);
	EXPECT_TRUE(DispatchControlMessage(&wrongType, fPlayer));
	BMessage wrongName(LevelMsg);
	wrongName.AddInt16("freq", 0);
	EXPECT_TRUE(DispatchControlMessage(&wrongName, fPlayer));
	BMessage freqAsString(FreqMsg);
	freqAsString.AddString("freq", "440");
	EXPECT_TRUE(DispatchControlMessage(&freqAsString, fPlayer));

	EXPECT_EQ(TargetToneLevel, before);
	EXPECT_FALSE(Noise);
}

TEST_F(DispatchTest, OtherMessagesArePassedOn)
{
	BMessage other('abcd');
	other.AddInt16("level", 0);
	EXPECT_FALSE(DispatchControlMessage(&other, fPlayer));
	BMessage quit('_QRQ');
	EXPECT_FALSE(DispatchControlMessage(&quit, fPlayer));
	EXPECT_EQ(TargetToneLevel, 0.000001f);
}

} // namespace
