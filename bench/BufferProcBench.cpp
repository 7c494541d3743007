// The buffer hook's cost per frame, stereo, in 512-frame buffers, beside the
// plain way of making a sine (one sin() call per frame) in the same run.

#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "TonePlayer.h"
#include <private/AudioDevice.h>

namespace {

const size_t kFrames = 512;

// A device that never plays, so that only the benchmark calls the hook.
class SilentDevice : public BPrivate::AudioDevice {
public:
	status_t Open(const char*, RenderFunc, void*,
		media_raw_audio_format* format) override
	{
		*format = media_raw_audio_format();
		return B_OK;
	}
	void Start() override {}
	void Stop() override {}
	void Close() override {}

	static std::unique_ptr<BPrivate::AudioDevice> Create()
	{
		return std::unique_ptr<BPrivate::AudioDevice>(new SilentDevice);
	}
};

media_raw_audio_format
StereoFloat()
{
	media_raw_audio_format format = {};
	format.frame_rate = 44100;
	format.channel_count = 2;
	format.format = media_raw_audio_format::B_AUDIO_FLOAT;
	return format;
}

void
SetFrameCounters(benchmark::State& state)
{
	state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
	state.counters["ns/frame"] = benchmark::Counter(
		double(state.iterations()) * kFrames,
		benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// level: the dB level to glide towards; "Mute" keeps the gain tiny, and a
// tone that glided out runs its gain down into subnormal numbers.
void
BM_BufferProc(benchmark::State& state, short level, bool noise)
{
	BPrivate::SetAudioDeviceFactory(&SilentDevice::Create);
	TonePlayer player;
	player.SetNoise(false);
	player.SetFrequency(440);
	player.SetLevel(0);
	std::vector<float> buffer(kFrames * 2);
	media_raw_audio_format format = StereoFloat();
	for (int i = 0; i < 200; i++)
		BufferProc(nullptr, buffer.data(), buffer.size() * sizeof(float), format);
	player.SetLevel(level);
	player.SetNoise(noise);
	// A minute of audio settles every glide.
	for (int i = 0; i < 44100 * 60 / int(kFrames); i++)
		BufferProc(nullptr, buffer.data(), buffer.size() * sizeof(float), format);

	for (auto _ : state) {
		BufferProc(nullptr, buffer.data(), buffer.size() * sizeof(float), format);
		benchmark::DoNotOptimize(buffer.data());
		benchmark::ClobberMemory();
	}
	SetFrameCounters(state);
	state.counters["gain"] = engine::ToneLevel;
	BPrivate::SetAudioDeviceFactory(nullptr);
}
BENCHMARK_CAPTURE(BM_BufferProc, unity, 0, false);
BENCHMARK_CAPTURE(BM_BufferProc, mute, -120, false);
BENCHMARK_CAPTURE(BM_BufferProc, glided_out, 0, true);

// The obvious generator: sin() of a running phase for every frame.
void
BM_SinPerFrame(benchmark::State& state)
{
	std::vector<float> buffer(kFrames * 2);
	const double omega = 6.283185307179586 * 440 / 44100.0;
	double phase = 0;
	float gain = 1.0f;
	for (auto _ : state) {
		for (size_t frame = 0; frame < kFrames; frame++) {
			float sample = float(gain * sin(phase));
			phase += omega;
			if (phase > 6.283185307179586)
				phase -= 6.283185307179586;
			buffer[2 * frame] = sample;
			buffer[2 * frame + 1] = sample;
		}
		benchmark::DoNotOptimize(buffer.data());
		benchmark::ClobberMemory();
	}
	SetFrameCounters(state);
}
BENCHMARK(BM_SinPerFrame);

} // namespace

BENCHMARK_MAIN();
