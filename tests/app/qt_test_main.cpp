// GoogleTest with a QApplication. The offscreen platform is the default, since test
// discovery runs this binary at build time without any display.
#include <QApplication>
#include <gtest/gtest.h>

// Under ThreadSanitizer: Qt's libraries are not instrumented, so the detector sees
// neither their locks nor the semaphore of a blocking queued call. It would report Qt's
// own thread pool, and every access on either side of a worker's call into the GUI
// thread. Everything else (worker start and end, the stop flag, the fakes) stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n"
         "race:callOnOwnerThread\n"
         "race:gui_thread_call.h\n"
         "race:qobjectdefs_impl.h\n";
}

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
