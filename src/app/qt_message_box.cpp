#include "app/qt_message_box.h"

#include <QMessageBox>
#include <QString>

#include "app/gui_thread_call.h"

namespace velmora {

QtMessageBox::QtMessageBox(QObject& guiObject, QWidget* ownerWindow)
    : guiObject_(guiObject), ownerWindow_(ownerWindow) {}

void QtMessageBox::show(const std::string& caption, const std::string& text, MessageIcon icon) {
  callOnOwnerThread(guiObject_, [&] {
    const QMessageBox::Icon boxIcon = icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    QMessageBox box(boxIcon, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    ownerWindow_.data());
    box.exec();
  });
}

}  // namespace velmora
