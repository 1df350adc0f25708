// The in-memory sound system is what every worker test trusts; these check that it
// behaves like a device: silent new buffers, the open/close rules, and failures that hit
// exactly the sound they were aimed at.
#include "support/memory_audio.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/fake_clock.h"

namespace velmora::testing {
namespace {

TEST(MemoryAudio, NewBufferIsOneSilentRegionOfWholeSamples) {
  MemoryAudio audio;
  audio.openDevice(0);
  for (std::size_t bytes : {6615u, 22050u, 220500u, 1u}) {
    auto buffer = audio.createSoundBuffer(bytes);
    ASSERT_NE(buffer, nullptr);
    auto region = buffer->lock();
    ASSERT_TRUE(region.has_value());
    EXPECT_EQ(region->size(), bytes / 2);
    EXPECT_TRUE(std::all_of(region->begin(), region->end(), [](std::int16_t s) { return s == 0; }));
  }
}

TEST(MemoryAudio, RecordsOnlyTheSamplesUnlockedAndRefusesMoreThanTheBufferHolds) {
  MemoryAudio audio;
  audio.openDevice(-1);
  auto buffer = audio.createSoundBuffer(10);
  auto region = buffer->lock();
  ASSERT_TRUE(region.has_value());
  for (std::size_t i = 0; i < region->size(); ++i) (*region)[i] = static_cast<std::int16_t>(100 + i);
  EXPECT_FALSE(buffer->unlock(6));
  EXPECT_TRUE(buffer->unlock(3));
  const auto sound = audio.sounds().at(0);
  EXPECT_EQ(sound.samplesWritten, 3u);
  EXPECT_EQ(sound.samples, (std::vector<std::int16_t>{100, 101, 102}));
}

TEST(MemoryAudio, NoBufferWithoutAnOpenDevice) {
  MemoryAudio audio(nullptr, {kDefaultOutputDevice, "Radio"});
  EXPECT_EQ(audio.createSoundBuffer(100), nullptr) << "never opened";

  audio.openDevice(1);
  EXPECT_TRUE(audio.isOpen());
  EXPECT_EQ(audio.openedIndex(), 1);

  audio.openDevice(2);  // not in the list: the old device is gone too
  EXPECT_FALSE(audio.isOpen());
  EXPECT_EQ(audio.createSoundBuffer(100), nullptr);

  audio.openDevice(-1);
  EXPECT_TRUE(audio.isOpen());
  audio.failOpen(true);
  audio.openDevice(0);
  EXPECT_FALSE(audio.isOpen());
  EXPECT_EQ(audio.createSoundBuffer(100), nullptr);

  audio.failOpen(false);
  audio.openDevice(0);
  audio.closeDevice();
  EXPECT_EQ(audio.createSoundBuffer(100), nullptr);
  EXPECT_EQ(audio.sounds().size(), 4u) << "every create is recorded, failed ones too";
}

TEST(MemoryAudio, AFailureAimedAtOneSoundHitsOnlyThatSound) {
  FakeClock clock(42);
  MemoryAudio audio(&clock);
  audio.openDevice(0);
  audio.failStep(SoundStep::Create, 1);
  audio.failStep(SoundStep::Play, 2);

  auto first = audio.createSoundBuffer(4);
  EXPECT_EQ(audio.createSoundBuffer(4), nullptr);
  auto third = audio.createSoundBuffer(4);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(third, nullptr);
  EXPECT_TRUE(first->play());
  EXPECT_FALSE(third->play());
  EXPECT_EQ(audio.liveBuffers(), 2);
  first.reset();
  EXPECT_EQ(audio.liveBuffers(), 1);

  const auto sounds = audio.sounds();
  EXPECT_TRUE(sounds[0].played);
  EXPECT_EQ(sounds[0].playTick, 42u);
  EXPECT_TRUE(sounds[0].released);
  EXPECT_EQ(sounds[1].steps, std::vector<SoundStep>{SoundStep::Create});
  EXPECT_FALSE(sounds[2].played);
  EXPECT_FALSE(sounds[2].released);
}

TEST(MemoryAudio, ListsAtMostTenDevices) {
  std::vector<std::string> many{kDefaultOutputDevice};
  for (int i = 1; i <= 11; ++i) many.push_back("Sink " + std::to_string(i));
  MemoryAudio audio(nullptr, many);
  const auto listed = audio.listDevices();
  ASSERT_EQ(listed.size(), kMaxOutputDevices);
  EXPECT_EQ(listed.back(), "Sink 9");
  audio.openDevice(10);
  EXPECT_FALSE(audio.isOpen());
}

}  // namespace
}  // namespace velmora::testing
