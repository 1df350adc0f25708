#include "app/ptt_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

#include "core/controls.h"
#include "ptt/port_names.h"

namespace velmora {

namespace {

constexpr int kMaxCommandChars = 255;
constexpr int kMaxRigPortChars = 255;
// Hamlib's usual serial speeds; 0 is the rig's own default.
constexpr int kRigSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr const char* kRigDefaultSpeed = "Rig default";

bool isAddress(const QString& port) { return !port.startsWith('/') && port.contains(':'); }

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

PttDialog::PttDialog(const PttSettings& settings, const std::vector<std::string>& comPortEntries,
                     QWidget* parent, const std::vector<RigModel>& rigModels,
                     const std::vector<std::string>& rigPorts)
    : QDialog(parent),
      original_(settings),
      rigModels_(rigModels),
      rigPorts_(rigPorts),
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
      hamlib_(new QRadioButton("Hamlib", this)),
      rig_(makeList("Rig", this)),
      rigPort_(makeList("Rig port", this)),
      rigSpeed_(makeList("Rig speed", this)),
      ok_(new QPushButton("OK", this)),
      cancel_(new QPushButton("Cancel", this)) {
  setWindowTitle("PTT Control");
  for (QAbstractButton* button :
       std::initializer_list<QAbstractButton*>{usePtt_, cat_, hardware_, rts_, dtr_, hamlib_, ok_, cancel_})
    button->setAccessibleName(button->text());
  txDelay_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), txDelay_));
  txDelay_->setAlignment(Qt::AlignRight);
  txCommand_->setMaxLength(kMaxCommandChars);
  rxCommand_->setMaxLength(kMaxCommandChars);

  auto* methodGroup = new QButtonGroup(this);
  methodGroup->addButton(cat_);
  methodGroup->addButton(hardware_);
  methodGroup->addButton(hamlib_);
  auto* lineGroup = new QButtonGroup(this);
  lineGroup->addButton(rts_);
  lineGroup->addButton(dtr_);

  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  buildLayout();
  fillLists(comPortEntries);
  fillRigLists(rigModels, rigPorts);
  showSettings(settings);
  connect(rig_, &QComboBox::currentIndexChanged, this, &PttDialog::suggestRigPort);
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
  layout->addWidget(buildHamlibBox());
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* PttDialog::buildHamlibBox() {
  auto* box = new QGroupBox(this);
  auto* grid = new QGridLayout(box);
  grid->addWidget(hamlib_, 0, 0, 1, 4);
  grid->addWidget(labelFor("Rig", rig_, this), 1, 0);
  grid->addWidget(rig_, 1, 1, 1, 3);
  grid->addWidget(labelFor("Rig port", rigPort_, this), 2, 0);
  grid->addWidget(rigPort_, 2, 1);
  grid->addWidget(labelFor("Rig speed", rigSpeed_, this), 2, 2);
  grid->addWidget(rigSpeed_, 2, 3);
  grid->setColumnStretch(1, 1);

  // Hundreds of models: typing any part of a name, in any case, narrows the list.
  rig_->setEditable(true);
  rig_->setInsertPolicy(QComboBox::NoInsert);
  rig_->setMaxVisibleItems(20);
  rig_->completer()->setCompletionMode(QCompleter::PopupCompletion);
  rig_->completer()->setFilterMode(Qt::MatchContains);
  rig_->completer()->setCaseSensitivity(Qt::CaseInsensitive);
  rigPort_->setEditable(true);
  rigPort_->setInsertPolicy(QComboBox::NoInsert);
  rigPort_->lineEdit()->setMaxLength(kMaxRigPortChars);
  rigPort_->setMinimumContentsLength(16);
  return box;
}

void PttDialog::fillRigLists(const std::vector<RigModel>& rigModels,
                             const std::vector<std::string>& rigPorts) {
  std::vector<RigModel> sorted = rigModels;
  std::stable_sort(sorted.begin(), sorted.end(), [](const RigModel& a, const RigModel& b) {
    return QString::compare(QString::fromStdString(a.name), QString::fromStdString(b.name),
                            Qt::CaseInsensitive) < 0;
  });
  for (const RigModel& model : sorted) rig_->addItem(QString::fromStdString(model.name), model.number);
  for (const std::string& port : rigPorts) rigPort_->addItem(QString::fromStdString(port));
  rigSpeed_->addItem(kRigDefaultSpeed, 0);
  for (int speed : kRigSpeeds) rigSpeed_->addItem(QString::number(speed), speed);
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
  if (settings.Hamlib != 0) {
    hamlib_->setChecked(true);
  } else {
    (settings.CAT != 0 ? cat_ : hardware_)->setChecked(true);
  }
  (settings.RTS != 0 ? rts_ : dtr_)->setChecked(true);
  showRig(settings);
}

void PttDialog::showRig(const PttSettings& settings) {
  const int model = rig_->findData(settings.HamlibModel);
  rig_->setCurrentIndex(model);
  if (model < 0) rig_->setEditText(QString::number(settings.HamlibModel));
  rigPort_->setEditText(QString::fromStdString(settings.HamlibPort));
  int speed = rigSpeed_->findData(settings.HamlibSpeed);
  if (speed < 0) {  // a speed of the file's own, kept as it is
    rigSpeed_->addItem(QString::number(settings.HamlibSpeed), settings.HamlibSpeed);
    speed = rigSpeed_->count() - 1;
  }
  rigSpeed_->setCurrentIndex(speed);
}

int PttDialog::chosenRigModel() const {
  const int index = rig_->findText(rig_->currentText(), Qt::MatchFixedString);
  return index >= 0 ? rig_->itemData(index).toInt() : original_.HamlibModel;
}

void PttDialog::suggestRigPort() {
  const int number = chosenRigModel();
  const auto model = std::find_if(rigModels_.begin(), rigModels_.end(),
                                  [number](const RigModel& m) { return m.number == number; });
  if (model == rigModels_.end()) return;
  const QString port = rigPort_->currentText();
  const bool usualAddress = port == kDefaultRigPort || port == kDefaultFlrigPort;
  if (model->network && (!isAddress(port) || usualAddress)) {
    rigPort_->setEditText(QString::fromStdString(defaultRigAddress(number)));
  } else if (model->serial && isAddress(port)) {
    // The device of the chosen "Com port", as the other methods would use it.
    std::string device = devicePathForPort(comPort_->currentIndex() + 1);
    if (device.empty()) device = rigPorts_.empty() ? kDefaultRigDevice : rigPorts_.front();
    rigPort_->setEditText(QString::fromStdString(device));
  }
}

PttSettings PttDialog::editedSettings() const {
  PttSettings edited;
  edited.UsePTTControl = usePtt_->isChecked() ? 1 : 0;
  edited.Hamlib = hamlib_->isChecked() ? 1 : 0;
  // With Hamlib chosen, CAT keeps what it was: a version without Hamlib keys that way.
  edited.CAT = edited.Hamlib != 0 ? original_.CAT : (cat_->isChecked() ? 1 : 0);
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
  edited.HamlibModel = chosenRigModel();
  edited.HamlibPort = firstCodePoints(rigPort_->currentText().trimmed().toStdString(), kMaxRigPortChars);
  edited.HamlibSpeed = rigSpeed_->currentData().toInt();
  return edited;
}

}  // namespace velmora
