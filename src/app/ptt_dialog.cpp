#include "app/ptt_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "core/controls.h"

namespace velmora {

namespace {

constexpr int kMaxCommandChars = 255;

QComboBox* makeList(const QString& name, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setAccessibleName(name);
  return list;
}

QLineEdit* makeEdit(const QString& name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setAccessibleName(name);
  return edit;
}

QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

void addItems(QComboBox& list, const QStringList& items) { list.addItems(items); }

// A position without an entry leaves the list without a selection.
void selectPosition(QComboBox& list, std::int32_t position) {
  list.setCurrentIndex(position >= 0 && position < list.count() ? position : -1);
}

// What OK stores for a command: at most 255 characters, as typed.
std::string commandText(const QLineEdit& edit) {
  return firstCodePoints(edit.text().toStdString(), kMaxCommandChars);
}

}  // namespace

PttDialog::PttDialog(const PttSettings& settings, const std::vector<std::string>& comPortEntries, QWidget* parent)
    : QDialog(parent),
      usePtt_(new QCheckBox("Use PTT control", this)),
      comPort_(makeList("Com port", this)),
      txDelay_(makeEdit("TX delay", this)),
      cat_(new QRadioButton("CAT", this)),
      txCommand_(makeEdit("TX command", this)),
      rxCommand_(makeEdit("RX command", this)),
      baudrate_(makeList("Baudrate", this)),
      databits_(makeList("Databits", this)),
      stopbits_(makeList("Stopbits", this)),
      parity_(makeList("Parity", this)),
      hardware_(new QRadioButton("Hardware", this)),
      rts_(new QRadioButton("RTS", this)),
      dtr_(new QRadioButton("DTR", this)),
      ok_(new QPushButton("OK", this)),
      cancel_(new QPushButton("Cancel", this)) {
  setWindowTitle("PTT Control");
  for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{usePtt_, cat_, hardware_, rts_, dtr_, ok_,
                                                                        cancel_})
    button->setAccessibleName(button->text());
  txDelay_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), txDelay_));
  txDelay_->setAlignment(Qt::AlignRight);
  txCommand_->setMaxLength(kMaxCommandChars);
  rxCommand_->setMaxLength(kMaxCommandChars);

  auto* methodGroup = new QButtonGroup(this);
  methodGroup->addButton(cat_);
  methodGroup->addButton(hardware_);
  auto* lineGroup = new QButtonGroup(this);
  lineGroup->addButton(rts_);
  lineGroup->addButton(dtr_);

  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  buildLayout();
  fillLists(comPortEntries);
  showSettings(settings);
  ok_->setFocus();
}

void PttDialog::buildLayout() {
  auto* topRow = new QHBoxLayout;
  topRow->addWidget(usePtt_);
  topRow->addSpacing(12);
  topRow->addWidget(labelFor("Com port", comPort_, this));
  topRow->addWidget(comPort_, 1);
  topRow->addSpacing(12);
  topRow->addWidget(labelFor("TX delay", txDelay_, this));
  txDelay_->setMaximumWidth(70);
  topRow->addWidget(txDelay_);
  topRow->addWidget(new QLabel("ms", this));

  auto* catBox = new QGroupBox(this);
  auto* catLayout = new QGridLayout(catBox);
  catLayout->addWidget(cat_, 0, 0, 1, 2);
  catLayout->addWidget(labelFor("TX command", txCommand_, this), 1, 0);
  catLayout->addWidget(txCommand_, 1, 1);
  catLayout->addWidget(labelFor("RX command", rxCommand_, this), 2, 0);
  catLayout->addWidget(rxCommand_, 2, 1);
  catLayout->addWidget(new QLabel("Parameters", this), 3, 0, 1, 2);
  int row = 4;
  for (QComboBox* list : {baudrate_, databits_, stopbits_, parity_}) {
    catLayout->addWidget(labelFor(list->accessibleName(), list, this), row, 0);
    catLayout->addWidget(list, row, 1);
    ++row;
  }

  auto* hardwareBox = new QGroupBox(this);
  auto* hardwareLayout = new QVBoxLayout(hardwareBox);
  hardwareLayout->addWidget(hardware_);
  hardwareLayout->addWidget(rts_);
  hardwareLayout->addWidget(dtr_);
  hardwareLayout->addStretch(1);

  auto* methods = new QHBoxLayout;
  methods->addWidget(catBox, 2);
  methods->addWidget(hardwareBox, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(topRow);
  layout->addLayout(methods);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void PttDialog::fillLists(const std::vector<std::string>& comPortEntries) {
  for (const std::string& entry : comPortEntries) comPort_->addItem(QString::fromStdString(entry));
  addItems(*baudrate_, {"2400", "4800", "9600", "19200", "38400"});
  addItems(*databits_, {"7", "8"});
  addItems(*stopbits_, {"1", "2"});
  addItems(*parity_, {"Odd", "Even", "None"});
}

void PttDialog::showSettings(const PttSettings& settings) {
  txDelay_->setText(QString::number(settings.TXDelay));
  selectPosition(*comPort_, settings.ComPort);
  selectPosition(*baudrate_, settings.Baudrate);
  selectPosition(*databits_, settings.Databits);
  selectPosition(*stopbits_, settings.Stopbits);
  selectPosition(*parity_, settings.Parity);
  usePtt_->setChecked(settings.UsePTTControl != 0);
  txCommand_->setText(QString::fromStdString(settings.TXCommand));
  rxCommand_->setText(QString::fromStdString(settings.RXCommand));
  (settings.CAT != 0 ? cat_ : hardware_)->setChecked(true);
  (settings.RTS != 0 ? rts_ : dtr_)->setChecked(true);
}

PttSettings PttDialog::editedSettings() const {
  PttSettings edited;
  edited.UsePTTControl = usePtt_->isChecked() ? 1 : 0;
  edited.CAT = cat_->isChecked() ? 1 : 0;
  edited.RTS = rts_->isChecked() ? 1 : 0;
  edited.ComPort = comPort_->currentIndex();
  edited.Baudrate = baudrate_->currentIndex();
  edited.Databits = databits_->currentIndex();
  edited.Stopbits = stopbits_->currentIndex();
  edited.Parity = parity_->currentIndex();
  bool readable = false;
  const uint delay = txDelay_->text().toUInt(&readable);
  edited.TXDelay = readable ? delay : 0;
  edited.TXCommand = commandText(*txCommand_);
  edited.RXCommand = commandText(*rxCommand_);
  return edited;
}

}  // namespace velmora
