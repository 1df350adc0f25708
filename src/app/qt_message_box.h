#pragma once
// Message boxes shown on the GUI thread for whichever thread raises them; the caller
// returns once the user has dismissed the box.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "core/message_box.h"

namespace velmora {

class QtMessageBox final : public MessageBox {
 public:
  // `guiObject` lives on the GUI thread and outlives this object; `ownerWindow` (may be
  // null) is the window the box belongs to.
  QtMessageBox(QObject& guiObject, QWidget* ownerWindow);

  void show(const std::string& caption, const std::string& text, MessageIcon icon) override;

 private:
  QObject& guiObject_;
  QPointer<QWidget> ownerWindow_;
};

}  // namespace velmora
