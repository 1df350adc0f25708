#pragma once
// "Saved messages": up to 12 texts kept beside "Text to send" (CQ, the call, 73), each
// sent with F1 to F12 or by a click. The box only edits the list; the window sends.

#include <QGroupBox>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace velmora {

class SavedMessagesBox final : public QGroupBox {
  Q_OBJECT

 public:
  explicit SavedMessagesBox(QWidget* parent);

  std::vector<std::string> messages() const;
  void setMessages(const std::vector<std::string>& messages);
  QListWidget* list() const { return list_; }

 signals:
  // The user asked to send message `index` (0 for F1).
  void sendRequested(int index);

 private:
  void addMessage();
  void editMessage();
  void removeMessage();
  void moveMessage(int step);
  // Asks for a message's text; false when cancelled or empty.
  bool askText(const QString& title, QString& text);
  void renumber();
  void refreshButtons();

  QListWidget* list_;
  QPushButton* send_;
  QPushButton* add_;
  QPushButton* edit_;
  QPushButton* remove_;
  QPushButton* up_;
  QPushButton* down_;
};

}  // namespace velmora
