// --play and --devices: the sounds on an output device through the program's own
// transmission and tuning workers, on controls filled from the settings file, keyed as
// the window keys when asked.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "core/control_states.h"
#include "core/in_memory_controls.h"
#include "core/shared_state.h"
#include "core/worker_context.h"
#include "log/event_log.h"
#include "ptt/hamlib_rig_control.h"
#include "ptt/posix_serial_port.h"
#include "render/counting_audio.h"
#include "render/render_internal.h"
#include "render/render_progress.h"
#include "render/render_stop.h"
#include "settings/settings_file.h"
#include "transmit/transmit_worker.h"
#include "transmit/tune_worker.h"

namespace velmora::render {

namespace {

// How often the main thread looks for a signal while the worker runs.
constexpr std::chrono::milliseconds kSignalWatchPeriod{10};

std::string settingsFileOf(const Options& options, const Environment& env) {
  return options.settingsPath ? *options.settingsPath : settingsPath(env.currentDirectory);
}

// The controls as the window has them after its start-up with this settings file, and
// the keying configuration; the text, "Loop" and the device as the command line says.
PttSettings fillControls(InMemoryControls& controls, SharedState& shared,
                         const std::vector<std::string>& devices, int deviceIndex, const Options& options,
                         const Environment& env) {
  controls.setListItems(ControlId::OutputDevice, devices);
  PttSettings ptt;
  WaterfallWindowSettings unusedWindow;  // the tool has no window
  loadSettings(settingsFileOf(options, env), controls, shared, ptt, unusedWindow);
  controls.setCurrentIndex(ControlId::OutputDevice, deviceIndex);
  if (options.text) controls.setText(ControlId::TextToSend, *options.text);
  controls.setChecked(ControlId::Loop, options.loop);
  if (!options.key) ptt.UsePTTControl = 0;
  return ptt;
}

// Runs the worker on a thread of its own while this thread watches for a signal, as the
// window's thread would for "Stop".
void runWorker(const std::function<void()>& work, SignalStop& stop) {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::thread worker([&] {
    work();
    std::lock_guard lock(mutex);
    done = true;
    ended.notify_all();
  });
  {
    std::unique_lock lock(mutex);
    while (!ended.wait_for(lock, kSignalWatchPeriod, [&] { return done; })) {
      lock.unlock();
      stop.check();
      lock.lock();
    }
  }
  worker.join();
}

// The report's figures come from synthesizing the played sounds again: only when asked for.
void reportSounds(const Rendering& rendering, const std::vector<bool>& outcomes, Report& report) {
  if (!report.wanted()) return;
  if (rendering.tune) {
    if (!outcomes.empty() && outcomes[0]) {
      std::vector<std::int16_t> samples(kTuningToneSamples);
      report.add(tuneReportLine(
          synthesizeTuningTone(rendering.settings.frequency, rendering.settings.concurrent, samples)));
    }
    return;
  }
  if (rendering.columns.empty()) return;
  std::vector<std::int16_t> samples(largestSoundSamples(rendering));
  for (std::size_t sound = 0; sound < outcomes.size(); ++sound) {
    if (!outcomes[sound]) continue;
    const std::uint8_t mask = rendering.columns[sound % rendering.columns.size()];
    report.add(reportLine(sound, mask, synthesizeColumn(rendering.settings, mask, samples)));
  }
}

}  // namespace

int play(const Rendering& rendering, const GlyphTable& glyphs, const Options& options, Report& report,
         Environment& env) {
  const int deviceIndex = *options.playDevice;
  CountingAudio audio(env.makeAudioOutput());
  const std::vector<std::string> devices = audio.listDevices();
  if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= devices.size()) {
    env.err << "No output device " << deviceIndex << " (see --devices)\n";
    return kExitBadInput;
  }

  InMemoryControls controls;
  SharedState shared;
  shared.startupDirectory = env.currentDirectory;
  const PttSettings keying = fillControls(controls, shared, devices, deviceIndex, options, env);
  Progress progress(env.err, env.stderrIsTerminal, readText(controls, ControlId::TextToSend, kMaxTextChars));
  ProgressMessageBox messages(progress);
  // "Transmit" checks "Interval" too, which only a loop reads.
  if (options.loop && !checkFieldRange(controls, messages, ControlId::Interval, "Interval", 0, 86400)) {
    return kExitBadInput;
  }

  audio.openDevice(deviceIndex);
  // Unlike the window, a command-line tool must not skip every sound in silence.
  if (!audio.isOpen()) {
    env.err << "Cannot open output device " << deviceIndex << " (is a sound server running?)\n";
    return kExitNotPlayed;
  }

  // Logfile.txt in the folder the tool runs in, as the window's.
  const auto log = std::make_unique<EventLog>(env.currentDirectory);
  const std::unique_ptr<SerialPortOpener> serialPorts =
      env.makeSerialPorts ? env.makeSerialPorts() : std::make_unique<PosixSerialPortOpener>();
  PttKeyer* keyerToStop = nullptr;
  SignalStop stop(env.stopFlag, [&] {
    // As the window's "Stop": the flag first, so that a keying about to start keys nothing.
    shared.stopFlag = 1;
    if (keyerToStop != nullptr) keyerToStop->unkeyTransmitter();
    setControlsIdle(controls, true);
  });
  SignalCheckingClock clock(env.clock, stop);
  PttKeyer ptt(*serialPorts, messages, clock, shared.stopFlag, env.portPath,
               [&log](const std::string& line) { log->appendLine(line, false); });
  ptt.useRigs(env.makeRigs ? env.makeRigs() : std::make_shared<HamlibRigControl>());
  if (env.makeGuard && keying.UsePTTControl != 0) {
    ptt.useGuard(env.makeGuard([&log](const std::string& line) { log->appendLine(line, false); }));
  }
  ptt.setSettings(keying);
  keyerToStop = &ptt;
  controls.watch([&progress](ControlId id, const std::string& text) { progress.onText(id, text); },
                 [&progress](ControlId id, bool enabled) { progress.onEnabled(id, enabled); });

  WorkerContext context{controls, messages, shared, audio, ptt, *log, clock, glyphs};
  // The window's "Transmit" or "Tune": stop flag cleared, window busy, worker started.
  shared.stopFlag = 0;
  setControlsIdle(controls, false);
  if (!stop.check()) {
    runWorker([&] { rendering.tune ? tuneWorker(context) : transmitWorker(context); }, stop);
  }
  ptt.unkeyTransmitter();  // as the window at its close: nothing stays keyed
  progress.finish();
  audio.closeDevice();

  const std::vector<bool> outcomes = audio.outcomes();
  reportSounds(rendering, outcomes, report);
  // Before any other outcome: a beacon script must learn that the rig may still be keyed.
  if (messages.unkeyingFailed()) return kExitNotUnkeyed;
  if (stop.stopped()) return kExitInterrupted;
  const auto skipped = static_cast<std::size_t>(std::count(outcomes.begin(), outcomes.end(), false));
  if (skipped > 0) {
    env.err << "Could not play " << skipped << " of " << outcomes.size() << " sounds on output device "
            << deviceIndex << "\n";
    return kExitNotPlayed;
  }
  return kExitOk;
}

int listDevices(Environment& env) {
  std::unique_ptr<AudioOutput> audio = env.makeAudioOutput();
  // The number first: it is what --play takes.
  int number = 0;
  for (const std::string& device : audio->listDevices()) env.out << number++ << "  " << device << '\n';
  return kExitOk;
}

}  // namespace velmora::render
