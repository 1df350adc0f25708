#include "app/receive_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "audio/pulse_input.h"
#include "core/controls.h"
#include "receive/live_decoder.h"
#include "transmit/glyph_font.h"
#include "transmit/text_codec.h"
#include "waterfall/receiver_profile.h"

namespace velmora {

namespace {

constexpr int kRate = 11025;
constexpr int kChunk = kRate / 10;       // a tenth of a second per read
constexpr int kPictureHeight = 240;      // lines kept on screen, newest on top
constexpr double kSureEnough = 0.9;      // below this a character is marked
constexpr const char* kApplicationName = "Velmora";

}  // namespace

SoundInputs pulseSoundInputs() {
  return {[] { return listPulseInputs(kApplicationName); },
          [](const std::string& name, int rate, std::string& error) {
            return openPulseInput(kApplicationName, name, rate, error);
          }};
}

ReceiveWindow::ReceiveWindow(Controls& controls, const GlyphTable& glyphs, SoundInputs inputs, QWidget* parent)
    : QWidget(parent, Qt::Window), controls_(controls), glyphs_(glyphs), inputs_(std::move(inputs)) {
  setWindowTitle("Receive");
  inputChoice_ = new QComboBox(this);
  inputChoice_->setAccessibleName("Input");
  // Room for a monitor's name ("Monitor of ...") at the window's first size.
  inputChoice_->setMinimumContentsLength(24);
  inputChoice_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  receiverChoice_ = new QComboBox(this);
  receiverChoice_->setAccessibleName("Receiver");
  for (const waterfall::ReceiverProfile& profile : waterfall::receiverProfiles())
    receiverChoice_->addItem(QString::fromUtf8(profile.name.data(), static_cast<qsizetype>(profile.name.size())));
  status_ = new QLabel(this);
  picture_ = new QLabel(this);
  picture_->setMinimumHeight(kPictureHeight);
  picture_->setAlignment(Qt::AlignCenter);
  text_ = new QTextEdit(this);
  text_->setReadOnly(true);
  text_->setAccessibleName("Text read");
  copy_ = new QPushButton("Copy", this);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Input:", this));
  top->addWidget(inputChoice_, 1);
  top->addWidget(new QLabel("Drawn as:", this));
  top->addWidget(receiverChoice_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_, 1);
  bottom->addWidget(copy_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(picture_, 2);
  layout->addWidget(text_, 1);
  layout->addLayout(bottom);

  connect(copy_, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(text()); });
  for (QComboBox* choice : {inputChoice_, receiverChoice_}) {
    connect(choice, &QComboBox::activated, this, [this] { start(); });
  }
}

ReceiveWindow::~ReceiveWindow() { stop(); }

QString ReceiveWindow::text() const {
  std::string codes;
  for (const auto& c : read_) codes.push_back(static_cast<char>(c.code));
  return QString::fromStdString(windows1252ToUtf8(codes));
}

int ReceiveWindow::pictureLines() const { return lines_; }

void ReceiveWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (inputChoice_->count() == 0) fillInputs();
  start();
  emit shownChanged(true);
}

void ReceiveWindow::hideEvent(QHideEvent* event) {
  // Asked to stop, not waited for: a decode under way must not hold the main window.
  // The thread is joined when the window listens again or goes.
  stopping_ = true;
  QWidget::hideEvent(event);
  emit shownChanged(false);
}

void ReceiveWindow::fillInputs() {
  inputChoice_->clear();
  inputChoice_->addItem("Default input device", QString());
  const auto inputs = inputs_.list ? inputs_.list() : std::nullopt;
  if (!inputs) return;
  for (const InputEntry& input : *inputs)
    inputChoice_->addItem(QString::fromStdString(input.description), QString::fromStdString(input.name));
}

receive::Hints ReceiveWindow::hintsFromControls() {
  // What this station sends with is the best guess of what it will hear; values out of
  // range are left for the decoder to find.
  receive::Hints hints;
  const std::uint32_t center = readUnsigned(controls_, ControlId::CenterFrequency);
  const std::uint32_t offset = readUnsigned(controls_, ControlId::PixelOffset);
  const std::uint32_t duration = readUnsigned(controls_, ControlId::Duration);
  if (center >= 100 && center <= 3000) hints.centerHz = center;
  if (offset >= 1 && offset <= 10) hints.offsetHz = static_cast<std::int32_t>(offset);
  if (duration >= 300 && duration <= 60000) {
    hints.durationMs = duration;
    hints.mode = controls_.isChecked(ControlId::Concurrent) ? receive::Mode::Concurrent : receive::Mode::Sequential;
  }
  return hints;
}

void ReceiveWindow::start() {
  stop();
  if (!inputs_.open) return;
  const std::string name = inputChoice_->currentData().toString().toStdString();
  std::string error;
  std::unique_ptr<SoundInput> input = inputs_.open(name, kRate, error);
  if (!input) {
    status_->setText(QString::fromStdString("Cannot open the input: " + error));
    return;
  }
  const receive::Hints hints = hintsFromControls();
  status_->setText(QString("Listening around %1 Hz").arg(hints.centerHz));
  image_ = QImage();
  stopping_ = false;
  const auto profiles = waterfall::receiverProfiles();
  const waterfall::ReceiverProfile& receiver =
      profiles[static_cast<std::size_t>(std::clamp<int>(receiverChoice_->currentIndex(), 0, static_cast<int>(profiles.size()) - 1))];
  worker_ = std::thread([this, hints, &receiver, in = std::move(input)]() mutable { run(std::move(in), hints, receiver); });
}

void ReceiveWindow::stop() {
  stopping_ = true;
  // A read returns within a tenth of a second, and a decode within a fraction of one.
  if (worker_.joinable()) worker_.join();
}

void ReceiveWindow::run(std::unique_ptr<SoundInput> input, receive::Hints hints,
                        const waterfall::ReceiverProfile& receiver) {
  const auto picture = waterfall::makeInputWaterfall(receiver, hints.centerHz);
  receive::LiveDecoder decoder(kRate, hints, glyphs_);
  std::vector<float> chunk(kChunk);
  while (!stopping_) {
    if (!input->read(chunk)) {
      QMetaObject::invokeMethod(this, [this] { status_->setText("The input has gone"); }, Qt::QueuedConnection);
      return;
    }
    auto lines = picture->push(chunk);
    if (!lines.empty())
      QMetaObject::invokeMethod(this, [this, lines = std::move(lines)] { addLines(lines); }, Qt::QueuedConnection);
    auto characters = decoder.push(chunk);
    if (!characters.empty()) {
      QMetaObject::invokeMethod(this, [this, characters = std::move(characters)] { addCharacters(characters); },
                                Qt::QueuedConnection);
    }
  }
}

void ReceiveWindow::addLines(const std::vector<waterfall::PictureLine>& lines) {
  if (lines.empty()) return;
  const int width = static_cast<int>(lines.front().size());
  if (image_.width() != width) {
    image_ = QImage(width, kPictureHeight, QImage::Format_RGB32);
    image_.fill(Qt::black);
  }
  // Newest on top: the picture moves down by the new lines.
  const int count = std::min<int>(static_cast<int>(lines.size()), kPictureHeight);
  QImage moved(image_.size(), image_.format());
  QPainter painter(&moved);
  painter.drawImage(0, count, image_);
  painter.end();
  for (int i = 0; i < count; ++i) {
    const auto& line = lines[lines.size() - 1 - static_cast<std::size_t>(i)];
    std::copy(line.begin(), line.end(), reinterpret_cast<std::uint32_t*>(moved.scanLine(i)));
  }
  image_ = moved;
  lines_ += static_cast<int>(lines.size());
  // At least two screen pixels per picture pixel across keep a tone's few pixels visible;
  // the lines keep their own height (frequency across, newest line on top).
  const int across = std::max(1, 400 / std::max(1, width));
  picture_->setPixmap(QPixmap::fromImage(image_.scaled(across * width, kPictureHeight)));
}

void ReceiveWindow::addCharacters(const std::vector<receive::DecodedCharacter>& characters) {
  QTextCursor cursor(text_->document());
  cursor.movePosition(QTextCursor::End);
  for (const auto& c : characters) {
    read_.push_back(c);
    // Plain text with a format, so that a copy from the field gives ordinary spaces.
    QTextCharFormat format;
    if (c.confidence < kSureEnough) {
      format.setBackground(QColor(0xff, 0xc8, 0xc8));
      format.setToolTip(QString("%1 %").arg(static_cast<int>(c.confidence * 100)));
    }
    cursor.insertText(QString::fromStdString(windows1252ToUtf8(std::string(1, static_cast<char>(c.code)))), format);
  }
  text_->setTextCursor(cursor);
}

}  // namespace velmora
