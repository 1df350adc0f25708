#pragma once
// The main window's widgets and menu, built and laid out in one place. Ownership lies
// with Qt's parent chain; this struct only points at them.

#include <map>
#include <vector>

#include "core/controls.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace velmora {

class SavedMessagesBox;

struct MainWindowWidgets {
  QComboBox* outputDevice = nullptr;
  QLabel* noSoundOutput = nullptr;  // shown while no sound output is open
  QSpinBox* txLevel = nullptr;      // the drive level, 0 down to -30 dB

  QRadioButton* concurrent = nullptr;
  QRadioButton* sequential = nullptr;
  QCheckBox* maxAvgPower = nullptr;
  QCheckBox* skipDark = nullptr;

  QLineEdit* centerFrequency = nullptr;
  QLineEdit* pixelOffset = nullptr;
  QLineEdit* duration = nullptr;

  QCheckBox* pilotTone = nullptr;
  QCheckBox* reverse = nullptr;

  QLineEdit* textToSend = nullptr;
  QLineEdit* textLength = nullptr;
  QCheckBox* loop = nullptr;
  QLineEdit* interval = nullptr;
  QLineEdit* myCall = nullptr;  // replaces {CALL} in the saved messages
  SavedMessagesBox* savedMessages = nullptr;

  QLineEdit* timeRemaining = nullptr;
  QLineEdit* sentText = nullptr;
  QLineEdit* pixelCount = nullptr;
  QLineEdit* averagePower = nullptr;
  QLineEdit* peakPower = nullptr;
  QLineEdit* messagePower = nullptr;

  QPushButton* tune = nullptr;
  QRadioButton* singlePixel = nullptr;
  QRadioButton* fullScale = nullptr;
  QPushButton* transmit = nullptr;
  QPushButton* stop = nullptr;

  QButtonGroup* modeGroup = nullptr;
  QButtonGroup* levelGroup = nullptr;

  QAction* deleteLogfile = nullptr;
  QAction* exit = nullptr;
  QAction* viewLogfile = nullptr;
  QAction* waterfall = nullptr;  // checked while the waterfall window is open
  QAction* receive = nullptr;    // checked while the receive window is open
  QAction* pttControl = nullptr;
  QAction* about = nullptr;

  // Every control of the controls model by its id.
  std::map<ControlId, QWidget*> byId() const;
  // The fields that take only digits.
  std::vector<QLineEdit*> numberFields() const;
};

// Creates the widgets in `window` (central widget and menu bar), in their initial states.
MainWindowWidgets buildMainWindowWidgets(QMainWindow& window);

}  // namespace velmora
