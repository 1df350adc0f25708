#include "receive/duration_search.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "receive/fft_plans.h"
#include "receive/spectrogram.h"

namespace velmora::receive {

namespace {

constexpr std::uint32_t kMinDurationMs = 300;
constexpr std::uint32_t kMaxDurationMs = 60000;
constexpr double kFrameSeconds = 0.016;  // shorter than the fade of the shortest slot
constexpr std::size_t kPitchesKept = 3;
// Columns on the air are mostly 5 ms apart, a file's not at all: either way a duration
// rounded to 10 ms from the pitch less 5 ms is the right one or its neighbour, which the
// caller tries next.
constexpr double kUsualGapMs = 5.0;

// The band's power frame by frame, each bin weighted by how far the long-term spectrum
// rises above the noise there: the text's own tones count, the noise beside them hardly.
std::vector<double> bandEnvelope(const Spectrogram& s, const LongSpectrum& spectrum) {
  std::vector<double> weight(s.bins, 0.0);
  for (std::size_t b = 0; b < s.bins; ++b) {
    const double hz = s.firstHz + static_cast<double>(b) * s.binHz;
    for (double f = hz - s.binHz / 2; f < hz + s.binHz / 2; f += spectrum.binHz)
      weight[b] += std::max(0.0, spectrum.at(f) - 1.0);
  }
  std::vector<double> envelope(s.frames, 0.0);
  for (std::size_t t = 0; t < s.frames; ++t)
    for (std::size_t b = 0; b < s.bins; ++b) envelope[t] += weight[b] * s.at(t, b);
  return envelope;
}

// The rows' energy every `hop` samples, each over the last 1/offset seconds: a sliding
// DFT per row, so that a long window costs no more than a short one.
std::vector<double> rowEnvelope(std::span<const float> samples, double sampleRate, const ToneSet& tones,
                                std::size_t hop) {
  const auto window = static_cast<std::size_t>(std::lround(sampleRate / tones.offsetHz));
  std::vector<double> envelope;
  if (samples.size() <= window) return envelope;
  std::vector<std::complex<double>> step, sum(7);
  for (int k = -3; k <= 3; ++k)
    step.push_back(
        std::polar(1.0, -2.0 * std::numbers::pi * (tones.centerHz + k * tones.offsetHz) / sampleRate));
  std::vector<std::complex<double>> phasor(7, 1.0), lagging(7, 1.0);
  for (std::size_t n = 0; n < samples.size(); ++n) {
    for (std::size_t k = 0; k < 7; ++k) {
      sum[k] += static_cast<double>(samples[n]) * phasor[k];
      phasor[k] *= step[k];
      if (n >= window) {
        sum[k] -= static_cast<double>(samples[n - window]) * lagging[k];
        lagging[k] *= step[k];
      }
    }
    if (n >= window && (n - window) % hop == 0) {
      double e = 0.0;
      for (const auto& s : sum) e += std::norm(s);
      envelope.push_back(e);
    }
  }
  return envelope;
}

// Where the envelope rises, over 20 ms: every burst fades in, so the rises mark the
// bursts' starts, while what the glyphs light (slow, and only now and then) fades from
// view.
std::vector<double> onsets(const std::vector<double>& envelope, double hopSeconds) {
  const auto span = std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(0.02 / hopSeconds)));
  std::vector<double> out(envelope.size(), 0.0);
  for (std::size_t t = span; t < envelope.size(); ++t)
    out[t] = std::max(0.0, envelope[t] - envelope[t - span]);
  return out;
}

// Autocorrelation of the envelope less its mean, per lag, each lag's sum divided by the
// number of products in it.
std::vector<double> autocorrelation(std::vector<double> x, std::size_t maxLag) {
  const std::size_t n = x.size();
  double mean = 0.0;
  for (double v : x) mean += v;
  mean /= static_cast<double>(std::max<std::size_t>(1, n));
  std::size_t size = 1;
  while (size < 2 * n) size <<= 1;
  double* in = fftw_alloc_real(size);
  fftw_complex* spectrum = fftw_alloc_complex(size / 2 + 1);
  const fftw_plan forward = planForward(static_cast<int>(size), in, spectrum);
  const fftw_plan backward = planBackward(static_cast<int>(size), spectrum, in);
  std::fill(in, in + size, 0.0);
  for (std::size_t i = 0; i < n; ++i) in[i] = x[i] - mean;
  fftw_execute(forward);
  for (std::size_t k = 0; k <= size / 2; ++k) {
    spectrum[k][0] = spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1];
    spectrum[k][1] = 0.0;
  }
  fftw_execute(backward);
  std::vector<double> out(std::min(maxLag, n - 1) + 1);
  for (std::size_t lag = 0; lag < out.size(); ++lag) out[lag] = in[lag] / static_cast<double>(n - lag);
  destroyPlan(backward);
  destroyPlan(forward);
  fftw_free(spectrum);
  fftw_free(in);
  return out;
}

// Lags (in frames, interpolated) where the autocorrelation peaks: the strongest few, and
// the shortest one nearly as strong as the strongest, which is the burst itself where
// its multiples (a character of six columns) repeat as well.
std::vector<double> pitches(const std::vector<double>& ac, std::size_t firstLag) {
  std::vector<std::pair<double, std::size_t>> peaks;
  for (std::size_t lag = std::max<std::size_t>(firstLag, 1); lag + 1 < ac.size(); ++lag)
    if (ac[lag] > ac[lag - 1] && ac[lag] >= ac[lag + 1] && ac[lag] > 0.0) peaks.emplace_back(ac[lag], lag);
  if (peaks.empty()) return {};
  auto refined = [&](std::size_t lag) {
    const double a = ac[lag - 1], b = ac[lag], c = ac[lag + 1];
    const double curve = a - 2.0 * b + c;
    return static_cast<double>(lag) + (curve < 0.0 ? 0.5 * (a - c) / curve : 0.0);
  };
  const double strongest = std::max_element(peaks.begin(), peaks.end())->first;
  std::vector<double> out;
  for (const auto& [value, lag] : peaks)
    if (value >= 0.6 * strongest) {
      out.push_back(refined(lag));
      break;
    }
  std::sort(peaks.begin(), peaks.end(), std::greater<>());
  for (std::size_t i = 0; i < peaks.size() && out.size() < kPitchesKept + 1; ++i) {
    const double lag = refined(peaks[i].second);
    if (std::none_of(out.begin(), out.end(), [&](double o) { return std::abs(o - lag) < 1.0; }))
      out.push_back(lag);
  }
  return out;
}

// Column pitches whose first multiples (a character is six columns) repeat most together,
// each looked for within 2 % of where it should be: where a poll's gap now and then
// parts the columns, no single multiple need stand out. Twice the pitch scores as well
// as the pitch itself, so the shortest nearly as good as the best is offered too.
std::vector<double> combPitches(const std::vector<double>& ac, std::size_t firstLag) {
  std::vector<double> score(ac.size(), -1e300);
  double best = -1e300;
  std::size_t bestLag = 0;
  for (std::size_t q = std::max<std::size_t>(firstLag, 1); 3 * q < ac.size(); ++q) {
    double sum = 0.0;
    int used = 0;
    for (std::size_t k = 1; k <= 6 && k * q < ac.size(); ++k) {
      const std::size_t reach = std::max<std::size_t>(1, k * q / 50);
      const std::size_t last = std::min(ac.size() - 1, k * q + reach);
      sum += *std::max_element(ac.begin() + static_cast<std::ptrdiff_t>(k * q - reach),
                               ac.begin() + static_cast<std::ptrdiff_t>(last) + 1);
      ++used;
    }
    score[q] = sum / used;
    if (score[q] > best) {
      best = score[q];
      bestLag = q;
    }
  }
  if (bestLag == 0 || !(best > 0.0)) return {};
  std::vector<double> out{static_cast<double>(bestLag)};
  for (std::size_t q = firstLag; q < bestLag; ++q)
    if (score[q] >= 0.9 * best) {
      out.push_back(static_cast<double>(q));
      break;
    }
  return out;
}

}  // namespace

std::vector<Timing> likelyTimings(std::span<const float> samples, double sampleRate,
                                  const LongSpectrum& spectrum, const ToneSet& tones,
                                  std::optional<Mode> mode) {
  std::vector<Timing> out;
  if (spectrum.level.empty()) return out;
  const double recordingMs = static_cast<double>(samples.size()) * 1000.0 / sampleRate;
  auto offer = [&](Mode m, double ms) {
    if (mode && *mode != m) return;
    // A pitch measured a little short of the shortest duration is that duration.
    const double rounded = std::max<double>(kMinDurationMs, std::round(ms / 10.0) * 10.0);
    // A text of one character has five columns.
    if (ms < 0.9 * kMinDurationMs || rounded > kMaxDurationMs || rounded * 5.0 > recordingMs) return;
    const Timing t{m, static_cast<std::uint32_t>(rounded)};
    if (std::none_of(out.begin(), out.end(),
                     [&](const Timing& o) { return o.mode == m && o.durationMs == t.durationMs; }))
      out.push_back(t);
  };
  auto pitchesMs = [&](const std::vector<double>& envelope, double hopSeconds, double shortestMs) {
    const auto firstLag = static_cast<std::size_t>(shortestMs / 1000.0 / hopSeconds);
    const auto maxLag = static_cast<std::size_t>((kMaxDurationMs + 200.0) / 1000.0 / hopSeconds);
    std::vector<double> ms;
    if (envelope.size() < 8) return ms;
    const std::vector<double> rises = onsets(envelope, hopSeconds);
    for (double lag : pitches(autocorrelation(rises, std::min(maxLag, rises.size() / 2)), firstLag))
      ms.push_back(lag * hopSeconds * 1000.0);
    return ms;
  };

  if (mode != Mode::Sequential && tones.offsetHz > 0) {
    const auto hop = static_cast<std::size_t>(sampleRate * 0.005);
    // A column, a few, or a character of six, less the usual gap.
    // (Where a poll's gap now and then parts the columns, their multiples can stand out.)
    const std::vector<double> envelope = rowEnvelope(samples, sampleRate, tones, hop);
    const double hopMs = static_cast<double>(hop) * 1000.0 / sampleRate;
    for (double ms : pitchesMs(envelope, hopMs / 1000.0, kMinDurationMs * 0.9))
      for (double columns : {1.0, 2.0, 3.0, 6.0}) offer(Mode::Concurrent, ms / columns - kUsualGapMs);
    if (envelope.size() >= 8) {
      const std::vector<double> rises = onsets(envelope, hopMs / 1000.0);
      const auto firstLag = static_cast<std::size_t>(kMinDurationMs * 0.9 / hopMs);
      const auto maxLag = static_cast<std::size_t>(6.0 * (kMaxDurationMs + 200.0) / hopMs);
      for (double lag : combPitches(autocorrelation(rises, std::min(maxLag, rises.size() / 2)), firstLag))
        for (double columns : {1.0, 6.0}) offer(Mode::Concurrent, lag * hopMs / columns - kUsualGapMs);
    }
  }
  if (mode != Mode::Concurrent) {
    const double highHz = spectrum.firstHz + spectrum.binHz * static_cast<double>(spectrum.level.size());
    const Spectrogram s = spectrogram(samples, sampleRate, kFrameSeconds, spectrum.firstHz, highHz);
    // A slot (slots follow each other without gaps), or a whole column less its gap.
    for (double ms : pitchesMs(bandEnvelope(s, spectrum), static_cast<double>(s.hop) / sampleRate,
                               kMinDurationMs / 7.0 * 0.9)) {
      offer(Mode::Sequential, 7.0 * ms);
      offer(Mode::Sequential, ms - kUsualGapMs);
      offer(Mode::Sequential, ms / 6.0 - kUsualGapMs);
    }
  }
  return out;
}

}  // namespace velmora::receive
