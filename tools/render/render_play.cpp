// --play and --devices: the sounds on an output device, with the program's waits.
#include <memory>
#include <utility>

#include "audio/playback.h"
#include "render/render_internal.h"

namespace velmora::render {

namespace {

// Poll periods and limits of the playback wait, as the program uses them.
constexpr std::uint32_t kConcurrentPollMs = 100;
constexpr std::uint32_t kSequentialPollMs = 10;
constexpr std::uint32_t kTunePollMs = 100;
constexpr std::uint32_t kTuneLimitMs = 10000;

struct PlaybackWait {
  std::uint32_t pollMs;
  std::uint32_t limitMs;
};

PlaybackWait columnWait(const RenderSettings& settings, std::size_t samplesWritten) {
  if (settings.concurrent) return {kConcurrentPollMs, static_cast<std::uint32_t>(settings.durationMs)};
  return {kSequentialPollMs, sequentialWaitLimitMs(samplesWritten)};
}

// One sound's life cycle: create, lock, fill, play, wait, stop, release. A step that
// fails skips the sound. Returns false when the sound was skipped.
template <typename Fill>
bool playSound(AudioOutput& audio, std::size_t bytes, std::size_t samplesNeeded, Fill fill,
               Environment& env) {
  std::unique_ptr<SoundBuffer> buffer = audio.createSoundBuffer(bytes);
  if (!buffer) return false;
  const std::optional<std::span<std::int16_t>> region = buffer->lock();
  if (!region || region->size() < samplesNeeded) {
    buffer->stop(StopMode::Flush);
    return false;
  }
  const auto [samplesWritten, wait] = fill(*region);
  return playFilledBuffer(*buffer, samplesWritten, env.clock, env.stopFlag, wait.pollMs, wait.limitMs);
}

}  // namespace

int play(const Rendering& rendering, int deviceIndex, Report& report, Environment& env) {
  std::unique_ptr<AudioOutput> audio = env.makeAudioOutput();
  const std::vector<std::string> devices = audio->listDevices();
  if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= devices.size()) {
    env.err << "No output device " << deviceIndex << " (see --devices)\n";
    return kExitBadInput;
  }
  audio->openDevice(deviceIndex);
  // Unlike the window, a command-line tool must not skip every sound in silence.
  if (!audio->isOpen()) {
    env.err << "Cannot open output device " << deviceIndex << " (is a sound server running?)\n";
    return kExitNotPlayed;
  }

  const RenderSettings& settings = rendering.settings;
  std::size_t sounds = 0;
  std::size_t skipped = 0;
  if (rendering.tune) {
    PowerFigures figures;
    const bool played = playSound(
        *audio, kTuningToneBytes, kTuningToneSamples,
        [&](std::span<std::int16_t> region) {
          figures = synthesizeTuningTone(settings.frequency, settings.concurrent, region);
          return std::pair{kTuningToneSamples, PlaybackWait{kTunePollMs, kTuneLimitMs}};
        },
        env);
    if (played) report.add(tuneReportLine(figures));
    ++sounds;
    skipped += played ? 0 : 1;
  }
  const auto durationMs = static_cast<std::uint32_t>(settings.durationMs);
  for (std::size_t index = 0; index < rendering.columns.size() && env.stopFlag.load() == 0; ++index) {
    const std::uint8_t mask = rendering.columns[index];
    SynthesizedSound sound;
    const bool played = playSound(
        *audio, columnBufferBytes(durationMs), largestSoundSamples(rendering),
        [&](std::span<std::int16_t> region) {
          sound = synthesizeColumn(settings, mask, region);
          return std::pair{sound.samplesWritten, columnWait(settings, sound.samplesWritten)};
        },
        env);
    if (played) report.add(reportLine(index, mask, sound));
    ++sounds;
    skipped += played ? 0 : 1;
  }
  audio->closeDevice();
  if (env.stopFlag.load() != 0) return kExitInterrupted;
  if (skipped > 0) {
    env.err << "Could not play " << skipped << " of " << sounds << " sounds on output device " << deviceIndex
            << "\n";
    return kExitNotPlayed;
  }
  return kExitOk;
}

int listDevices(Environment& env) {
  std::unique_ptr<AudioOutput> audio = env.makeAudioOutput();
  for (const std::string& device : audio->listDevices()) env.out << device << '\n';
  return kExitOk;
}

}  // namespace velmora::render
