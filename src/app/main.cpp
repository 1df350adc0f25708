#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/app_environment.h"
#include "app/com_port_entries.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/termination_signals.h"
#include "audio/pulse_audio_output.h"
#include "core/clock.h"
#include "ptt/hamlib_rig_control.h"
#include "ptt/port_names.h"
#include "ptt/posix_serial_port.h"
#include "transmit/glyph_font.h"
#include "transmit/transmit_worker.h"
#include "transmit/tune_worker.h"

namespace {

// Velmora.ini and Logfile.txt live in the folder the program was started in.
std::string currentDirectory() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::current_path(error);
  return error ? std::string(".") : path.string();
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before anything is opened or written.
  if (const auto exitCode = velmora::answerInformationOptions(argc, argv, std::cout)) return *exitCode;
  QApplication application(argc, argv);
  application.setApplicationName("Velmora");
  application.setDesktopFileName("velmora");

  velmora::SharedState shared;
  shared.startupDirectory = currentDirectory();
  const std::unique_ptr<velmora::AudioOutput> audio = velmora::makePulseAudioOutput();
  velmora::PosixSerialPortOpener serialPorts;
  velmora::SteadyClock clock;

  velmora::AppEnvironment environment{
      .audio = *audio,
      .serialPorts = serialPorts,
      .clock = clock,
      .shared = shared,
      .fontFolders = velmora::fontSearchFolders(QCoreApplication::applicationDirPath().toStdString()),
      .transmitWorker = velmora::transmitWorker,
      .tuneWorker = velmora::tuneWorker,
      .comPortEntries = [] { return velmora::comPortEntries(velmora::devicePresent); },
      .rigs = std::make_shared<velmora::HamlibRigControl>(),
      .rigPorts = [] { return velmora::presentPortDevices(velmora::devicePresent); },
      .pttGuard = true,
  };
  velmora::MainWindow window(std::move(environment));
  velmora::TerminationSignals terminationSignals;
  QObject::connect(&terminationSignals, &velmora::TerminationSignals::terminationRequested, &window,
                   &velmora::MainWindow::terminate);

  window.show();
  window.startUp();
  const int result = application.exec();
  // A worker that would not end may still use what the destructors would free.
  if (window.leftWorkerRunning()) std::_Exit(result);
  return result;
}
