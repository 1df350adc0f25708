#include "receive/live_decoder.h"

#include <algorithm>

namespace velmora::receive {

namespace {

// Without a duration, the longest text worth waiting for a character of: 2 s columns.
constexpr double kUnknownColumnS = 2.0;

}  // namespace

LiveDecoder::LiveDecoder(double sampleRate, const Hints& hints, const GlyphTable& font)
    : sampleRate_(sampleRate), hints_(hints), font_(font) {
  const double columnS = hints.durationMs ? *hints.durationMs / 1000.0 + 0.05 : kUnknownColumnS;
  characterS_ = 6.0 * columnS;
  // Ten characters give the decoder enough columns to learn from; a new decode after
  // every character, but not more often than every three seconds.
  windowSamples_ = static_cast<std::size_t>(std::max(30.0, 10.0 * characterS_) * sampleRate);
  stepSamples_ = static_cast<std::size_t>(std::max(3.0, characterS_) * sampleRate);
}

std::vector<DecodedCharacter> LiveDecoder::push(std::span<const float> samples) {
  std::vector<DecodedCharacter> out;
  window_.insert(window_.end(), samples.begin(), samples.end());
  sinceDecode_ += samples.size();
  if (window_.size() > windowSamples_) {
    const std::size_t drop = window_.size() - windowSamples_;
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(drop));
    windowStart_ += drop;
  }
  if (sinceDecode_ < stepSamples_) return out;
  sinceDecode_ = 0;

  const Decoding decoding = decodeRecording(window_, sampleRate_, hints_, font_);
  const double startS = static_cast<double>(windowStart_) / sampleRate_;
  const double endS = startS + static_cast<double>(window_.size()) / sampleRate_;
  // A character cut by the stretch's start may read wrong; one that has not ended yet,
  // or whose end is right at the stretch's end, may too.
  const double firstS = windowStart_ == 0 ? 0.0 : startS + characterS_;
  const double lastS = endS - 1.5 * characterS_;
  for (const DecodedCharacter& c : decoding.characters) {
    const double t = startS + c.timeS;
    if (t < firstS || t > lastS || t < lastTimeS_ + 0.5 * characterS_) continue;
    out.push_back({c.code, c.confidence, t});
    lastTimeS_ = t;
  }
  return out;
}

}  // namespace velmora::receive
