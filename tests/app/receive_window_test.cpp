#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <future>
#include <thread>

#include "app/receive_window.h"
#include "core/in_memory_controls.h"
#include "transmit/message_sound.h"
#include "window_rig.h"

namespace velmora {
namespace {

// An input that plays a rendered text once, then silence, then is gone.
class RecordedInput final : public SoundInput {
 public:
  explicit RecordedInput(std::vector<float> samples) : samples_(std::move(samples)) {}
  bool read(std::span<float> out) override {
    if (at_ >= samples_.size()) return false;
    for (float& v : out) v = at_ < samples_.size() ? samples_[at_++] : 0.0f;
    return true;
  }

 private:
  std::vector<float> samples_;
  std::size_t at_ = 0;
};

TEST(ReceiveWindowTest, ShowsTheInputsWaterfallAndTheTextReadFromIt) {
  GlyphTable glyphs;
  ASSERT_TRUE(loadGlyphFont(std::string(VELMORA_DATA_DIR) + "/" + kFontFileName, glyphs));
  InMemoryControls controls;
  writeUnsigned(controls, ControlId::CenterFrequency, 1500);
  writeUnsigned(controls, ControlId::PixelOffset, 10);
  writeUnsigned(controls, ControlId::Duration, 300);
  controls.setChecked(ControlId::Concurrent, true);

  ColumnParameters c;
  c.center = 1520;  // the receiver is 20 Hz off
  c.offset = 10;
  c.durationMs = 300;
  // Two transmissions, the second after 10 s of silence: nearly five characters' length.
  std::vector<float> samples(11025, 0.0f);
  for (const char* text : {"TEST 73", "AB"}) {
    for (std::int16_t v : messageSound(text, glyphs, true, c, [](std::size_t) { return 60; }))
      samples.push_back(static_cast<float>(v) / 32768.0f);
    samples.resize(samples.size() + 11025 * 10, 0.0f);
  }
  samples.resize(samples.size() + 11025 * 10, 0.0f);

  std::string opened = "none";
  SoundInputs inputs{[] { return std::vector<InputEntry>{{"radio.monitor", "Monitor of Test Radio"}}; },
                     [&](const std::string& name, int, std::string&) -> std::unique_ptr<SoundInput> {
                       opened = name;
                       return std::make_unique<RecordedInput>(samples);
                     }};
  ReceiveWindow window(controls, glyphs, inputs, nullptr);
  window.show();
  EXPECT_EQ(window.inputChoice().count(), 2);
  EXPECT_EQ(opened, "");  // the default input first
  // Chosen by name: the monitor, read again from its start.
  window.inputChoice().setCurrentIndex(1);
  emit window.inputChoice().activated(1);
  EXPECT_EQ(opened, "radio.monitor");
  // Each transmission on a line of its own; a word's gap stays a space.
  EXPECT_TRUE(testing::waitUntil([&] { return window.text() == "TEST 73\nAB"; }, 60000))
      << window.text().toStdString();
  EXPECT_GT(window.pictureLines(), 100);
  window.copyButton().click();
  EXPECT_EQ(QApplication::clipboard()->text(), "TEST 73\nAB");
}

// Reads block until the gate opens (or for 20 s: a wait for them then ends), then fail.
struct Gate {
  std::promise<void> opener;
  std::shared_future<void> open = opener.get_future().share();
  std::atomic<int> reading{0}, returned{0}, closedOffMain{0};
  const std::thread::id main = std::this_thread::get_id();
};

struct GatedInput final : SoundInput {
  explicit GatedInput(Gate& g) : gate(g) {}
  ~GatedInput() override { gate.closedOffMain += std::this_thread::get_id() != gate.main; }
  bool read(std::span<float>) override {
    ++gate.reading;
    gate.open.wait_for(std::chrono::seconds(20));
    ++gate.returned;
    return false;
  }
  Gate& gate;
};

TEST(ReceiveWindowTest, RestartsAndHideDoNotWaitForAReadUnderWay) {
  GlyphTable glyphs;
  InMemoryControls controls;
  Gate gate;
  const auto open = [&](const std::string&, int, std::string&) { return std::make_unique<GatedInput>(gate); };
  ReceiveWindow window(controls, glyphs, {{}, open}, nullptr);
  window.show();
  ASSERT_TRUE(testing::waitUntil([&] { return gate.reading == 1; }, 30000));
  emit window.receiverChoice().activated(1);
  emit window.inputChoice().activated(0);
  window.hide();
  EXPECT_EQ(gate.returned.load(), 0);
  gate.opener.set_value();
  EXPECT_TRUE(testing::waitUntil([&] { return window.listeningThreads() == 0; }, 30000));  // all joined
  EXPECT_EQ(gate.closedOffMain.load(), 3);  // each input by its own thread
}

}  // namespace
}  // namespace velmora
