#include "app/receive_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "app/live_picture_view.h"
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
constexpr double kSureEnough = 0.9;      // below this a character is marked
// More silence than this many characters' length between two letters ends a
// transmission: the next one starts on a line of its own. A word's gap is one.
constexpr double kPauseCharacters = 3.0;
constexpr std::uint8_t kSpace = ' ';
constexpr std::uint8_t kLineBreak = '\n';
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
  picture_ = new LivePictureView(this);
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

ReceiveWindow::~ReceiveWindow() {
  stop();
  for (Run& r : runs_) r.thread.join();
}

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
  stop();
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

// What one thread takes with it: nothing of the window's but its posted calls.
struct ReceiveWindow::Listening {
  unsigned number;
  std::unique_ptr<SoundInput> input;
  receive::LiveDecoder decoder;
  const waterfall::ReceiverProfile& receiver;
  double centerHz;
  std::shared_ptr<std::atomic<bool>> stop;
  std::shared_future<void> previousEnded;
  std::promise<void> ended;
};

void ReceiveWindow::start() {
  stop();
  ++listening_;
  spaces_.clear();
  lastLetterS_.reset();
  const auto profiles = waterfall::receiverProfiles();
  const waterfall::ReceiverProfile& receiver =
      profiles[static_cast<std::size_t>(std::clamp<int>(receiverChoice_->currentIndex(), 0, static_cast<int>(profiles.size()) - 1))];
  picture_->restart(receiver.layout);
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
  auto stopFlag = std::make_shared<std::atomic<bool>>(false);
  // The decoder copies the font here, so the thread reads nothing the window owns.
  Listening listening{listening_, std::move(input), receive::LiveDecoder(kRate, hints, glyphs_), receiver,
                      hints.centerHz, stopFlag, lastEnded_, {}};
  lastEnded_ = listening.ended.get_future().share();
  runs_.push_back(
      {listening_, stopFlag, std::thread([this, l = std::move(listening)]() mutable { run(std::move(l)); })});
}

void ReceiveWindow::stop() {
  for (Run& r : runs_) *r.stop = true;
}

void ReceiveWindow::run(Listening listening) {
  // One listening at a time, even while an earlier one ends its last decode: the CPU
  // stays that of one, and two listenings never make FFT plans at once.
  if (listening.previousEnded.valid()) listening.previousEnded.wait();
  if (!*listening.stop) listen(listening);
  listening.input.reset();
  listening.ended.set_value();
  const unsigned number = listening.number;
  QMetaObject::invokeMethod(this, [this, number] { ended(number); }, Qt::QueuedConnection);
}

void ReceiveWindow::listen(Listening& listening) {
  const unsigned number = listening.number;
  const auto picture = waterfall::makeInputWaterfall(listening.receiver, listening.centerHz);
  const double characterS = listening.decoder.characterSeconds();
  std::vector<float> chunk(kChunk);
  while (!*listening.stop) {
    if (!listening.input->read(chunk)) {
      QMetaObject::invokeMethod(
          this,
          [this, number] {
            if (number == listening_) status_->setText("The input has gone");
          },
          Qt::QueuedConnection);
      return;
    }
    auto lines = picture->push(chunk);
    if (!lines.empty())
      QMetaObject::invokeMethod(
          this, [this, number, lines = std::move(lines)] { addLines(number, lines); }, Qt::QueuedConnection);
    auto characters = listening.decoder.push(chunk);
    if (!characters.empty()) {
      QMetaObject::invokeMethod(
          this,
          [this, number, characterS, characters = std::move(characters)] {
            addCharacters(number, characters, characterS);
          },
          Qt::QueuedConnection);
    }
  }
}

// The thread has posted its last call, so the join returns at once.
void ReceiveWindow::ended(unsigned listening) {
  const auto r = std::find_if(runs_.begin(), runs_.end(), [&](const Run& run) { return run.listening == listening; });
  if (r == runs_.end()) return;
  r->thread.join();
  runs_.erase(r);
}

// What an earlier listening left queued is dropped: its lines may be of another
// receiver, its times of another clock.
void ReceiveWindow::addLines(unsigned listening, const std::vector<waterfall::PictureLine>& lines) {
  if (listening != listening_) return;
  picture_->add(lines);
  lines_ += static_cast<int>(lines.size());
}

void ReceiveWindow::addCharacters(unsigned listening, const std::vector<receive::DecodedCharacter>& characters,
                                  double characterS) {
  if (listening != listening_) return;
  for (const auto& c : characters) {
    if (c.code == kSpace) {
      spaces_.push_back(c);
      continue;
    }
    // Spaces before the first letter of a listening separate nothing; a new listening,
    // like a new transmission, starts on a line of its own.
    const bool pause = lastLetterS_ ? c.timeS - *lastLetterS_ > (kPauseCharacters + 1.0) * characterS
                                    : !read_.empty();
    if (pause) {
      showCharacter({kLineBreak, 1.0, c.timeS});
    } else if (lastLetterS_) {
      for (const auto& space : spaces_) showCharacter(space);
    }
    spaces_.clear();
    showCharacter(c);
    lastLetterS_ = c.timeS;
  }
}

void ReceiveWindow::showCharacter(const receive::DecodedCharacter& c) {
  read_.push_back(c);
  QTextCursor cursor(text_->document());
  cursor.movePosition(QTextCursor::End);
  // Plain text with a format, so that a copy from the field gives ordinary spaces.
  QTextCharFormat format;
  if (c.confidence < kSureEnough) {
    format.setBackground(QColor(0xff, 0xc8, 0xc8));
    format.setToolTip(QString("%1 %").arg(static_cast<int>(c.confidence * 100)));
  }
  cursor.insertText(QString::fromStdString(windows1252ToUtf8(std::string(1, static_cast<char>(c.code)))), format);
  text_->setTextCursor(cursor);
}

}  // namespace velmora
