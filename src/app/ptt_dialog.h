#pragma once
// "PTT Control": edits the keying configuration. OK hands back every control as it
// stands; nothing is stored differently for being invalid, but a command field says at
// once when its text is not hex bytes. "Test PTT" keys with the settings as shown. Enter
// is OK; Esc and the close box are Cancel.

#include <QDialog>
#include <string>
#include <vector>

#include "ptt/ptt_settings.h"
#include "ptt/rig_control.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QLabel;
class QRadioButton;

namespace velmora {

class PttTester;

class PttDialog final : public QDialog {
  Q_OBJECT

 public:
  // comPortEntries: the texts of the "Com port" list, position 0 first. rigModels: the
  // "Rig" list; rigPorts: the serial devices offered as "Rig port".
  PttDialog(const PttSettings& settings, const std::vector<std::string>& comPortEntries, QWidget* parent,
            const std::vector<RigModel>& rigModels = {}, const std::vector<std::string>& rigPorts = {},
            PttTester* tester = nullptr);
  // A test still running is ended with the dialog.
  void done(int result) override;

  // The settings as the controls show them now (what OK stores).
  PttSettings editedSettings() const;

 private:
  void buildLayout();
  QWidget* buildHamlibBox();
  void fillLists(const std::vector<std::string>& comPortEntries);
  void fillRigLists(const std::vector<RigModel>& rigModels, const std::vector<std::string>& rigPorts);
  void showSettings(const PttSettings& settings);
  void showRig(const PttSettings& settings);
  // The model the "Rig" field names, or the one the dialog opened with.
  int chosenRigModel() const;
  // A rig reached another way than the port shown gets its usual port.
  void suggestRigPort();
  void addToolTips();
  void onTestPressed();
  void showCommandCheck(const QLineEdit& field, QLabel& sign);

  PttSettings original_;
  std::vector<RigModel> rigModels_;
  std::vector<std::string> rigPorts_;
  QCheckBox* usePtt_;
  QComboBox* comPort_;
  QLineEdit* txDelay_;
  QRadioButton* cat_;
  QLineEdit* txCommand_;
  QLineEdit* rxCommand_;
  QComboBox* baudrate_;
  QComboBox* databits_;
  QComboBox* stopbits_;
  QComboBox* parity_;
  QRadioButton* hardware_;
  QRadioButton* rts_;
  QRadioButton* dtr_;
  QRadioButton* hamlib_;
  QComboBox* rig_;
  QComboBox* rigPort_;
  QComboBox* rigSpeed_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* test_;
  QLabel* testOutcome_;
  QLabel* txCommandSign_;
  QLabel* rxCommandSign_;
  PttTester* tester_;
};

}  // namespace velmora
