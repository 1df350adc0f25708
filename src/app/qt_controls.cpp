#include "app/qt_controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include "app/gui_thread_call.h"

namespace velmora {

namespace {

QString fromUtf8(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toUtf8(const QString& text) { return text.toUtf8().toStdString(); }

bool countsAsEdit(ControlId id) { return id == ControlId::TextToSend || id == ControlId::Duration; }

}  // namespace

QtControls::QtControls(QObject& owner) : owner_(owner) {}

void QtControls::addWidget(ControlId id, QWidget& widget) { widgets_[id] = &widget; }

void QtControls::addRadioGroup(QButtonGroup& group) { radioGroups_.push_back(&group); }

void QtControls::onProgrammaticEdit(std::function<void(ControlId)> handler) { editHandler_ = std::move(handler); }

QWidget* QtControls::widget(ControlId id) const {
  const auto it = widgets_.find(id);
  return it == widgets_.end() ? nullptr : it->second;
}

QAbstractButton* QtControls::button(ControlId id) const { return qobject_cast<QAbstractButton*>(widget(id)); }

QLineEdit* QtControls::lineEdit(ControlId id) const { return qobject_cast<QLineEdit*>(widget(id)); }

QComboBox* QtControls::comboBox(ControlId id) const { return qobject_cast<QComboBox*>(widget(id)); }

QButtonGroup* QtControls::exclusiveGroupOf(QAbstractButton& member) const {
  for (QButtonGroup* group : radioGroups_)
    if (group->exclusive() && group->buttons().contains(&member)) return group;
  return nullptr;
}

bool QtControls::isChecked(ControlId id) {
  return callOnOwnerThread(owner_, [&] {
    const QAbstractButton* target = button(id);
    return target != nullptr && target->isChecked();
  });
}

void QtControls::setChecked(ControlId id, bool checked) {
  callOnOwnerThread(owner_, [&] {
    QAbstractButton* target = button(id);
    if (target == nullptr) return;
    // An exclusive group refuses to uncheck its checked button; the model allows a
    // group with nothing checked, as the window has before the settings are loaded.
    QButtonGroup* group = checked ? nullptr : exclusiveGroupOf(*target);
    if (group != nullptr) group->setExclusive(false);
    target->setChecked(checked);
    if (group != nullptr) group->setExclusive(true);
  });
}

bool QtControls::isEnabled(ControlId id) {
  return callOnOwnerThread(owner_, [&] {
    const QWidget* target = widget(id);
    return target != nullptr && target->isEnabled();
  });
}

void QtControls::setEnabled(ControlId id, bool enabled) {
  callOnOwnerThread(owner_, [&] {
    if (QWidget* target = widget(id)) target->setEnabled(enabled);
  });
}

std::string QtControls::text(ControlId id) {
  return callOnOwnerThread(owner_, [&]() -> std::string {
    if (const QLineEdit* edit = lineEdit(id)) return toUtf8(edit->text());
    if (const QComboBox* list = comboBox(id)) return toUtf8(list->currentText());
    if (const QAbstractButton* target = button(id)) return toUtf8(target->text());
    return {};
  });
}

void QtControls::setText(ControlId id, const std::string& utf8) {
  callOnOwnerThread(owner_, [&] { setTextOnGuiThread(id, utf8); });
}

void QtControls::setTextOnGuiThread(ControlId id, const std::string& utf8) {
  QLineEdit* edit = lineEdit(id);
  if (edit == nullptr) return;
  const QString newText = fromUtf8(utf8);
  if (edit->text() != newText) {
    edit->setText(newText);  // textChanged runs the window's change handling
    return;
  }
  // QLineEdit stays silent when the text does not change, but setting it still counts
  // as an edit (the settings loader relies on it for the text length and time fields).
  if (countsAsEdit(id) && editHandler_) editHandler_(id);
}

void QtControls::selectAllText(ControlId id) {
  callOnOwnerThread(owner_, [&] {
    if (QLineEdit* edit = lineEdit(id)) edit->selectAll();
  });
}

std::vector<std::string> QtControls::listItems(ControlId id) {
  return callOnOwnerThread(owner_, [&] {
    std::vector<std::string> items;
    if (const QComboBox* list = comboBox(id))
      for (int i = 0; i < list->count(); ++i) items.push_back(toUtf8(list->itemText(i)));
    return items;
  });
}

void QtControls::setListItems(ControlId id, const std::vector<std::string>& items) {
  callOnOwnerThread(owner_, [&] {
    QComboBox* list = comboBox(id);
    if (list == nullptr) return;
    list->clear();
    for (const std::string& item : items) list->addItem(fromUtf8(item));
    list->setCurrentIndex(-1);  // filling a list selects nothing; the settings choose
  });
}

int QtControls::currentIndex(ControlId id) {
  return callOnOwnerThread(owner_, [&] {
    const QComboBox* list = comboBox(id);
    return list == nullptr ? -1 : list->currentIndex();
  });
}

void QtControls::setCurrentIndex(ControlId id, int index) {
  callOnOwnerThread(owner_, [&] {
    QComboBox* list = comboBox(id);
    if (list == nullptr) return;
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
  });
}

}  // namespace velmora
