#include "audio/pulse_input.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include "audio/pulse_connection.h"

namespace velmora {

namespace {

struct SourceList {
  std::vector<InputEntry> entries;
  pa_threaded_mainloop* mainloop = nullptr;
};

void onSource(pa_context* /*context*/, const pa_source_info* info, int eol, void* userdata) {
  auto* list = static_cast<SourceList*>(userdata);
  if (eol == 0 && info != nullptr) {
    list->entries.push_back({info->name ? info->name : "", info->description ? info->description : ""});
  }
  pa_threaded_mainloop_signal(list->mainloop, 0);
}

// pa_simple blocks in its own calls and needs no main loop of ours: a recording thread
// just reads. Its reads block until the samples are there, as the interface says.
class PulseInput final : public SoundInput {
 public:
  explicit PulseInput(pa_simple* stream) : stream_(stream) {}
  ~PulseInput() override { pa_simple_free(stream_); }
  PulseInput(const PulseInput&) = delete;
  PulseInput& operator=(const PulseInput&) = delete;

  bool read(std::span<float> out) override {
    int error = 0;
    return pa_simple_read(stream_, out.data(), out.size_bytes(), &error) == 0;
  }

 private:
  pa_simple* stream_;
};

}  // namespace

std::optional<std::vector<InputEntry>> listPulseInputs(const std::string& applicationName) {
  const auto connection = pulse::Connection::open(applicationName, "", pulse::kServerTimeout);
  if (!connection) return std::nullopt;
  SourceList list;
  list.mainloop = connection->mainloop();
  pulse::Connection::Lock lock(*connection);
  pa_operation* operation = pa_context_get_source_info_list(connection->context(), onSource, &list);
  if (operation == nullptr || !connection->finish(operation, pulse::kServerTimeout)) return std::nullopt;
  return list.entries;
}

std::unique_ptr<SoundInput> openPulseInput(const std::string& applicationName, const std::string& name,
                                           int sampleRate, std::string& error) {
  pa_sample_spec sampleFormat{};
  sampleFormat.format = PA_SAMPLE_FLOAT32NE;
  sampleFormat.rate = static_cast<std::uint32_t>(sampleRate);
  sampleFormat.channels = 1;
  // Fragments of about 100 ms: live text needs no lower latency, and fewer wake-ups cost
  // less.
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(sampleRate / 10 * sizeof(float));
  int code = 0;
  pa_simple* stream = pa_simple_new(nullptr, applicationName.c_str(), PA_STREAM_RECORD,
                                    name.empty() ? nullptr : name.c_str(), "Receive", &sampleFormat, nullptr, &attributes,
                                    &code);
  if (stream == nullptr) {
    error = pa_strerror(code);
    return nullptr;
  }
  return std::make_unique<PulseInput>(stream);
}

}  // namespace velmora
