#pragma once
// "Receive": reads waterfall text back from a sound input (a receiver's audio). Shows
// the input's live waterfall as the chosen receiver draws it and, below it, the text read so far, with the characters
// the decoder is unsure of marked, and a button that copies the text.
//
// The input is read, drawn and decoded on a thread of its own, which hands finished
// picture lines and characters to the window as posted calls: the main window never
// waits for it. The thread runs only while the window is shown. A restart or a hide
// only asks the running thread to stop; the thread closes its input itself, and the
// window joins it when the thread posts that it has ended (a join that returns at once).
// The next thread starts reading only once the last one has ended: one listening at a time.
// Only the window's destruction joins a thread that may still run, for at most one read
// and one decode.

#include <QWidget>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/sound_input.h"
#include "receive/decoder.h"
#include "waterfall/input_waterfall.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTextEdit;

namespace velmora {

class Controls;
class LivePictureView;
class GlyphTable;

struct SoundInputs {
  std::function<std::optional<std::vector<InputEntry>>()> list;
  // Opens the input of that name ("" the default) at the rate given; nullptr and a
  // reason when it cannot.
  std::function<std::unique_ptr<SoundInput>(const std::string& name, int sampleRate, std::string& error)> open;
};

// The server's own inputs.
SoundInputs pulseSoundInputs();

class ReceiveWindow final : public QWidget {
  Q_OBJECT

 public:
  ReceiveWindow(Controls& controls, const GlyphTable& glyphs, SoundInputs inputs, QWidget* parent);
  ~ReceiveWindow() override;

  QString text() const;            // the text read so far
  int pictureLines() const;        // waterfall lines drawn so far
  QComboBox& inputChoice() { return *inputChoice_; }
  QComboBox& receiverChoice() { return *receiverChoice_; }
  QPushButton& copyButton() { return *copy_; }
  int listeningThreads() const { return static_cast<int>(runs_.size()); }  // not yet joined

 signals:
  void shownChanged(bool shown);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void fillInputs();
  struct Listening;
  // A thread of one listening, with its own stop flag: a flag shared by all of them
  // could be cleared by a restart before an earlier thread saw it.
  struct Run {
    unsigned listening;
    std::shared_ptr<std::atomic<bool>> stop;
    std::thread thread;
  };

  void start();
  void stop();
  void run(Listening listening);
  void listen(Listening& listening);
  void ended(unsigned listening);
  void addLines(unsigned listening, const std::vector<waterfall::PictureLine>& lines);
  void addCharacters(unsigned listening, const std::vector<receive::DecodedCharacter>& characters,
                     double characterS);
  void showCharacter(const receive::DecodedCharacter& character);
  receive::Hints hintsFromControls();

  Controls& controls_;
  const GlyphTable& glyphs_;
  SoundInputs inputs_;
  QComboBox* inputChoice_ = nullptr;
  QComboBox* receiverChoice_ = nullptr;
  QLabel* status_ = nullptr;
  LivePictureView* picture_ = nullptr;
  QTextEdit* text_ = nullptr;
  QPushButton* copy_ = nullptr;
  int lines_ = 0;
  // Counts the starts, so that what an earlier listening left queued is told apart.
  unsigned listening_ = 0;
  std::vector<receive::DecodedCharacter> read_;  // as shown, line breaks included
  // Spaces after the last letter, shown once the next letter tells a word's gap from
  // the pause between two transmissions.
  std::vector<receive::DecodedCharacter> spaces_;
  std::optional<double> lastLetterS_;  // start of the last letter of this listening
  std::vector<Run> runs_;  // started and not yet joined, oldest first
  std::shared_future<void> lastEnded_;  // when the last thread started has finished listening
};

}  // namespace velmora
