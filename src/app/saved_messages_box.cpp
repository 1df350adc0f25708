#include "app/saved_messages_box.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QListWidget>
#include <QPushButton>

#include "core/controls.h"
#include "settings/settings_file.h"

namespace velmora {

namespace {

QPushButton* button(const QString& text, const QString& tip, QWidget* parent) {
  auto* result = new QPushButton(text, parent);
  result->setAccessibleName(QString(text).remove('&').remove(QChar(0x2026)));
  result->setToolTip(tip);
  result->setAutoDefault(false);
  return result;
}

QString shown(int row, const QString& message) { return QString("F%1  %2").arg(row + 1).arg(message); }

}  // namespace

SavedMessagesBox::SavedMessagesBox(QWidget* parent)
    : QGroupBox("Saved messages", parent),
      list_(new QListWidget(this)),
      send_(button("Sen&d", "Sends the chosen message now (as its F key does)", this)),
      add_(button("A&dd\u2026", "Adds a message (at most 12). {CALL} in a message stands for \"My call\".",
                  this)),
      edit_(button("&Edit\u2026", "Changes the chosen message", this)),
      remove_(button("Remo&ve", "Removes the chosen message", this)),
      up_(button("U&p", "Moves the chosen message up: it takes the F key above", this)),
      down_(button("Do&wn", "Moves the chosen message down: it takes the F key below", this)) {
  list_->setAccessibleName("Saved messages");
  list_->setToolTip(
      "Texts to send with one key: F1 to F12, a double click, or Send. {CALL} is replaced by \"My call\". "
      "Sending puts the text into \"Text to send\" and starts \"Transmit\".");
  list_->setMinimumSize(120, 60);

  auto* layout = new QGridLayout(this);
  layout->addWidget(list_, 0, 0, 1, 2);
  layout->addWidget(send_, 1, 0);
  layout->addWidget(add_, 1, 1);
  layout->addWidget(edit_, 2, 0);
  layout->addWidget(remove_, 2, 1);
  layout->addWidget(up_, 3, 0);
  layout->addWidget(down_, 3, 1);
  layout->setRowStretch(0, 1);

  connect(send_, &QPushButton::clicked, this, [this] {
    if (list_->currentRow() >= 0) emit sendRequested(list_->currentRow());
  });
  connect(list_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { emit sendRequested(list_->row(item)); });
  connect(add_, &QPushButton::clicked, this, &SavedMessagesBox::addMessage);
  connect(edit_, &QPushButton::clicked, this, &SavedMessagesBox::editMessage);
  connect(remove_, &QPushButton::clicked, this, &SavedMessagesBox::removeMessage);
  connect(up_, &QPushButton::clicked, this, [this] { moveMessage(-1); });
  connect(down_, &QPushButton::clicked, this, [this] { moveMessage(1); });
  connect(list_, &QListWidget::currentRowChanged, this, &SavedMessagesBox::refreshButtons);
  refreshButtons();
}

std::vector<std::string> SavedMessagesBox::messages() const {
  std::vector<std::string> result;
  for (int row = 0; row < list_->count(); ++row)
    result.push_back(list_->item(row)->data(Qt::UserRole).toString().toStdString());
  return result;
}

void SavedMessagesBox::setMessages(const std::vector<std::string>& messages) {
  list_->clear();
  for (const std::string& message : messages) {
    if (static_cast<std::size_t>(list_->count()) == kMaxSavedMessages) break;
    auto* item = new QListWidgetItem(list_);
    item->setData(Qt::UserRole, QString::fromStdString(message));
  }
  renumber();
  if (list_->count() > 0) list_->setCurrentRow(0);
  refreshButtons();
}

bool SavedMessagesBox::askText(const QString& title, QString& text) {
  bool accepted = false;
  const QString typed = QInputDialog::getText(
      this, title, "Message ({CALL} stands for \"My call\"):", QLineEdit::Normal, text, &accepted);
  if (!accepted || typed.trimmed().isEmpty()) return false;
  text = QString::fromStdString(firstCodePoints(typed.toStdString(), kMaxTextChars));
  return true;
}

void SavedMessagesBox::addMessage() {
  if (static_cast<std::size_t>(list_->count()) >= kMaxSavedMessages) return;
  QString text = list_->count() == 0 ? "CQ CQ DE {CALL} {CALL} K" : "";
  if (!askText("Add a message", text)) return;
  auto* item = new QListWidgetItem(list_);
  item->setData(Qt::UserRole, text);
  renumber();
  list_->setCurrentItem(item);
  refreshButtons();
}

void SavedMessagesBox::editMessage() {
  QListWidgetItem* item = list_->currentItem();
  if (item == nullptr) return;
  QString text = item->data(Qt::UserRole).toString();
  if (!askText("Edit the message", text)) return;
  item->setData(Qt::UserRole, text);
  renumber();
}

void SavedMessagesBox::removeMessage() {
  delete list_->takeItem(list_->currentRow());
  renumber();
  refreshButtons();
}

void SavedMessagesBox::moveMessage(int step) {
  const int row = list_->currentRow();
  const int target = row + step;
  if (row < 0 || target < 0 || target >= list_->count()) return;
  QListWidgetItem* item = list_->takeItem(row);
  list_->insertItem(target, item);
  renumber();
  list_->setCurrentRow(target);
}

void SavedMessagesBox::renumber() {
  for (int row = 0; row < list_->count(); ++row) {
    QListWidgetItem* item = list_->item(row);
    item->setText(shown(row, item->data(Qt::UserRole).toString()));
  }
}

void SavedMessagesBox::refreshButtons() {
  const int row = list_->currentRow();
  const bool chosen = row >= 0;
  send_->setEnabled(chosen);
  add_->setEnabled(static_cast<std::size_t>(list_->count()) < kMaxSavedMessages);
  edit_->setEnabled(chosen);
  remove_->setEnabled(chosen);
  up_->setEnabled(row > 0);
  down_->setEnabled(chosen && row + 1 < list_->count());
}

}  // namespace velmora
