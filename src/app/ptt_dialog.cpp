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

#include "app/ptt_tester.h"
#include "core/controls.h"
#include "ptt/hex_command.h"
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

QLabel* errorSign(QWidget* parent) {
  auto* sign = new QLabel("Not hex bytes", parent);
  sign->setStyleSheet("QLabel { color: #c00000; }");
  sign->setToolTip("Two hexadecimal digits (0-9, A-F) per byte; blanks or commas may part the bytes");
  sign->setVisible(false);
  return sign;
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
                     const std::vector<std::string>& rigPorts, PttTester* tester)
    : QDialog(parent),
      original_(settings),
      rigModels_(rigModels),
      rigPorts_(rigPorts),
      usePtt_(new QCheckBox("&Use PTT control", this)),
      comPort_(makeList("Com port", this)),
      txDelay_(makeEdit("TX delay", this)),
      cat_(new QRadioButton("CA&T", this)),
      txCommand_(makeEdit("TX command", this)),
      rxCommand_(makeEdit("RX command", this)),
      baudrate_(makeList("Baudrate", this)),
      databits_(makeList("Databits", this)),
      stopbits_(makeList("Stopbits", this)),
      parity_(makeList("Parity", this)),
      hardware_(new QRadioButton("&Hardware", this)),
      rts_(new QRadioButton("&RTS", this)),
      dtr_(new QRadioButton("&DTR", this)),
      hamlib_(new QRadioButton("Haml&ib", this)),
      rig_(makeList("Rig", this)),
      rigPort_(makeList("Rig port", this)),
      rigSpeed_(makeList("Rig speed", this)),
      ok_(new QPushButton("O&K", this)),
      cancel_(new QPushButton("Ca&ncel", this)),
      test_(new QPushButton("Test &PTT", this)),
      testOutcome_(new QLabel(this)),
      txCommandSign_(errorSign(this)),
      rxCommandSign_(errorSign(this)),
      tester_(tester) {
  setWindowTitle("PTT Control");
  for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{usePtt_, cat_, hardware_, rts_, dtr_,
                                                                         hamlib_, ok_, cancel_, test_})
    button->setAccessibleName(QString(button->text()).remove('&'));
  testOutcome_->setAccessibleName("Test PTT outcome");
  testOutcome_->setWordWrap(true);
  test_->setAutoDefault(false);
  test_->setCheckable(true);
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
  // Choosing a rig means keying through it.
  connect(rig_, &QComboBox::currentIndexChanged, this, [this] { hamlib_->setChecked(true); });
  for (auto [field, sign] : {std::pair{txCommand_, txCommandSign_}, std::pair{rxCommand_, rxCommandSign_}}) {
    connect(field, &QLineEdit::textChanged, this, [this, field, sign] { showCommandCheck(*field, *sign); });
    showCommandCheck(*field, *sign);
  }
  if (tester_ != nullptr) {
    connect(test_, &QPushButton::clicked, this, &PttDialog::onTestPressed);
    connect(tester_, &PttTester::progress, testOutcome_, &QLabel::setText);
    connect(tester_, &PttTester::finished, this, [this](const QString& outcome) {
      testOutcome_->setText(outcome);
      test_->setChecked(false);
    });
  }
  addToolTips();
  ok_->setFocus();
}

void PttDialog::showCommandCheck(const QLineEdit& field, QLabel& sign) {
  sign.setVisible(!isHexCommandText(field.text().toStdString()));
}

void PttDialog::onTestPressed() {
  if (tester_->running()) {
    tester_->stop();
    return;
  }
  test_->setChecked(true);
  tester_->start(editedSettings());
}

void PttDialog::done(int result) {
  if (tester_ != nullptr) tester_->stop();
  QDialog::done(result);
}

void PttDialog::addToolTips() {
  usePtt_->setToolTip("Key the transmitter for every transmission and for Tune");
  comPort_->setToolTip(
      "The serial port for CAT and for RTS/DTR: 1-32 are /dev/ttyUSB0-31, 33-64 "
      "/dev/ttyACM0-31, 65-256 /dev/ttyS0-191; \u2713 marks a port that is there");
  txDelay_->setToolTip(
      "Milliseconds to wait after keying, before the sound starts (0 to 10000; "
      "100 to 300 suits most rigs)");
  cat_->setToolTip("Key by the rig's own command bytes, written to the serial port");
  txCommand_->setToolTip(
      "The bytes that key the rig, in hexadecimal as the rig's manual prints them, "
      "for example FE FE 94 E0 1C 00 01 FD");
  rxCommand_->setToolTip("The bytes that unkey the rig, in hexadecimal, for example FE FE 94 E0 1C 00 00 FD");
  baudrate_->setToolTip("The serial speed the rig's CAT port is set to");
  databits_->setToolTip("Data bits of the CAT port (8 for most rigs)");
  stopbits_->setToolTip("Stop bits of the CAT port (1 for most rigs; some Yaesu rigs want 2)");
  parity_->setToolTip("Parity of the CAT port (None for most rigs)");
  hardware_->setToolTip(
      "Key by a line of the serial port, as a simple interface or a sound card "
      "interface with a PTT transistor wants");
  rts_->setToolTip("Raise RTS while keyed");
  dtr_->setToolTip("Raise DTR while keyed");
  hamlib_->setToolTip(
      "Key through Hamlib: a rig by its model, or rigctld or flrig shared with other programs");
  rig_->setToolTip(
      "The rig's model; type any part of its name (\"7300\" finds the Icom IC-7300). "
      "Choosing one selects Hamlib.");
  rigPort_->setToolTip(
      "The rig's serial device, or host:port for Hamlib NET rigctl (rigctld, "
      "localhost:4532) and FLRig (localhost:12345)");
  rigSpeed_->setToolTip("The rig's serial speed; \"Rig default\" uses Hamlib's value for the model");
  test_->setToolTip(QString("Keys the transmitter with the settings shown here (not saved yet) for %1 s, "
                            "with no sound; press again to unkey at once")
                        .arg(kPttTestMs / 1000));
  ok_->setToolTip("Keeps these settings (saved in Velmora.ini when the program ends)");
  cancel_->setToolTip("Forgets the changes");
}

void PttDialog::buildLayout() {
  auto* topRow = new QHBoxLayout;
  topRow->addWidget(usePtt_);
  topRow->addSpacing(12);
  topRow->addWidget(labelFor("&Com port", comPort_, this));
  topRow->addWidget(comPort_, 1);
  topRow->addSpacing(12);
  topRow->addWidget(labelFor("TX de&lay", txDelay_, this));
  txDelay_->setMaximumWidth(70);
  topRow->addWidget(txDelay_);
  topRow->addWidget(new QLabel("ms", this));

  auto* catBox = new QGroupBox(this);
  auto* catLayout = new QGridLayout(catBox);
  catLayout->addWidget(cat_, 0, 0, 1, 2);
  catLayout->addWidget(labelFor("T&X command", txCommand_, this), 1, 0);
  catLayout->addWidget(txCommand_, 1, 1);
  catLayout->addWidget(txCommandSign_, 1, 2);
  catLayout->addWidget(labelFor("RX co&mmand", rxCommand_, this), 2, 0);
  catLayout->addWidget(rxCommand_, 2, 1);
  catLayout->addWidget(rxCommandSign_, 2, 2);
  catLayout->addWidget(new QLabel("Parameters", this), 3, 0, 1, 2);
  int row = 4;
  const std::pair<QComboBox*, const char*> parameters[] = {
      {baudrate_, "&Baudrate"}, {databits_, "D&atabits"}, {stopbits_, "&Stopbits"}, {parity_, "Parit&y"}};
  for (const auto& [list, text] : parameters) {
    catLayout->addWidget(labelFor(text, list, this), row, 0);
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
  buttons->addWidget(test_);
  buttons->addWidget(testOutcome_, 1);
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
  grid->addWidget(labelFor("Ri&g", rig_, this), 1, 0);
  grid->addWidget(rig_, 1, 1, 1, 3);
  grid->addWidget(labelFor("Rig p&ort", rigPort_, this), 2, 0);
  grid->addWidget(rigPort_, 2, 1);
  grid->addWidget(labelFor("Rig sp&eed", rigSpeed_, this), 2, 2);
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
