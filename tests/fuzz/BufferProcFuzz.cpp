// Feeds BufferProc any size, channel count, format and rate, between random
// setter calls, into a buffer of exactly the size it is told. AddressSanitizer
// catches any write past the end; a foreign buffer that comes back changed,
// or a call that never returns, fails the run.

#include <cstring>
#include <memory>

#include <fuzzer/FuzzedDataProvider.h>

#include "TonePlayer.h"
#include "../support/ManualAudioDevice.h"

namespace {

TonePlayer*
Player()
{
	static TonePlayer* sPlayer = [] {
		BPrivate::SetAudioDeviceFactory(&ManualAudioDevice::Create);
		return new TonePlayer;
	}();
	return sPlayer;
}

const uint32 kFormats[] = {
	media_raw_audio_format::B_AUDIO_FLOAT, media_raw_audio_format::B_AUDIO_SHORT,
	media_raw_audio_format::B_AUDIO_INT, media_raw_audio_format::B_AUDIO_UCHAR,
	media_raw_audio_format::B_AUDIO_CHAR, media_raw_audio_format::B_AUDIO_DOUBLE,
	0, 0xffffffff,
};
const float kRates[] = { 44100, 48000, 22050, 0, -44100, 44100.01f, 96000 };

} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	FuzzedDataProvider input(data, size);
	TonePlayer* player = Player();

	while (input.remaining_bytes() > 0) {
		switch (input.ConsumeIntegralInRange<int>(0, 4)) {
			case 0:
				player->SetFrequency(input.ConsumeIntegral<short>());
				break;
			case 1:
				player->SetLevel(input.ConsumeIntegralInRange<short>(-200, 20));
				break;
			case 2:
				player->SetNoise(input.ConsumeBool());
				break;
			case 3:
				player->SetNoiseMix();
				break;
			default:
			{
				media_raw_audio_format format = {};
				format.format = input.ConsumeBool()
					? media_raw_audio_format::B_AUDIO_FLOAT
					: input.PickValueInArray(kFormats);
				format.frame_rate = input.ConsumeBool()
					? 44100.0f : input.PickValueInArray(kRates);
				format.channel_count = input.ConsumeBool()
					? input.ConsumeIntegralInRange<uint32>(0, 9)
					: input.ConsumeIntegral<uint32>();
				size_t bytes = input.ConsumeIntegralInRange<size_t>(0, 70000);

				std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes]);
				memset(buffer.get(), 0x5a, bytes);
				BufferProc(nullptr, buffer.get(), bytes, format);

				bool ours = format.format == media_raw_audio_format::B_AUDIO_FLOAT
					&& format.frame_rate == 44100.0f && format.channel_count != 0;
				if (!ours) {
					for (size_t i = 0; i < bytes; i++) {
						if (buffer[i] != 0x5a)
							__builtin_trap();
					}
				}
				// Bytes past the last whole sample are never ours either.
				for (size_t i = bytes & ~size_t(3); i < bytes; i++) {
					if (buffer[i] != 0x5a)
						__builtin_trap();
				}
				break;
			}
		}
	}
	return 0;
}
