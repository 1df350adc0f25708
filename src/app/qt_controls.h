#pragma once
// The controls model on real widgets. Every access runs on the GUI thread: directly when
// the caller is on it, otherwise as a blocking call that the GUI thread serves from its
// event loop (also while a modal dialog or message box is open there).

#include <QObject>
#include <functional>
#include <map>

#include "core/controls.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QWidget;

namespace velmora {

class QtControls final : public Controls {
 public:
  // `owner` lives on the GUI thread and outlives this object.
  explicit QtControls(QObject& owner);

  // Registration, on the GUI thread, before the first access.
  void addWidget(ControlId id, QWidget& widget);
  // Radio buttons that exclude each other; the group is owned by the caller.
  void addRadioGroup(QButtonGroup& group);
  // Runs after the text of "Text to send" or "Duration per pixel column" was set from
  // code, also when the new text equals the old one (a user's typing is wired to the
  // same handler by the window).
  void onProgrammaticEdit(std::function<void(ControlId)> handler);

  bool isChecked(ControlId id) override;
  void setChecked(ControlId id, bool checked) override;
  bool isEnabled(ControlId id) override;
  void setEnabled(ControlId id, bool enabled) override;
  std::string text(ControlId id) override;
  void setText(ControlId id, const std::string& utf8) override;
  void selectAllText(ControlId id) override;
  std::vector<std::string> listItems(ControlId id) override;
  void setListItems(ControlId id, const std::vector<std::string>& items) override;
  int currentIndex(ControlId id) override;
  void setCurrentIndex(ControlId id, int index) override;

 private:
  QWidget* widget(ControlId id) const;
  QAbstractButton* button(ControlId id) const;
  QLineEdit* lineEdit(ControlId id) const;
  QComboBox* comboBox(ControlId id) const;
  QButtonGroup* exclusiveGroupOf(QAbstractButton& button) const;
  void setTextOnGuiThread(ControlId id, const std::string& utf8);

  QObject& owner_;
  std::map<ControlId, QWidget*> widgets_;
  std::vector<QButtonGroup*> radioGroups_;
  std::function<void(ControlId)> editHandler_;
};

}  // namespace velmora
