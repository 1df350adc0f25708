#pragma once
// "PTT Control": edits the keying configuration. OK hands back every control as it
// stands; nothing is validated. Enter is OK; Esc and the close box are Cancel.

#include <QDialog>
#include <string>
#include <vector>

#include "ptt/ptt_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

class PttDialog final : public QDialog {
  Q_OBJECT

 public:
  // comPortEntries: the texts of the "Com port" list, position 0 first.
  PttDialog(const PttSettings& settings, const std::vector<std::string>& comPortEntries, QWidget* parent);

  // The settings as the controls show them now (what OK stores).
  PttSettings editedSettings() const;

 private:
  void buildLayout();
  void fillLists(const std::vector<std::string>& comPortEntries);
  void showSettings(const PttSettings& settings);

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
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace velmora
