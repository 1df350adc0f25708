#pragma once
// Draws waterfall pictures on a thread of its own, so that typing never waits for one.
// Requests that come while a picture is being drawn replace each other: only the latest
// is drawn next. A finished picture waits under the lock until the GUI thread takes it;
// one finished before the GUI thread came to it is replaced by the newer one.

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "waterfall/waterfall.h"

namespace velmora {

using SharedPicture = std::shared_ptr<const waterfall::Picture>;

struct RenderedPicture {
  std::uint64_t number = 0;  // of the request it answers
  bool tuningTone = false;
  SharedPicture picture;
};

class WaterfallRenderer final : public QObject {
 public:
  // `ready` runs on the GUI thread with each finished picture.
  explicit WaterfallRenderer(std::function<void(const RenderedPicture&)> ready, QObject* parent = nullptr);
  // Waits for the picture being drawn (at most one, well under a second), then ends.
  ~WaterfallRenderer() override;

  // Returns the request's number; numbers rise with every request.
  std::uint64_t request(waterfall::Sending sending, waterfall::DrawOptions options);

 private:
  struct Job {
    std::uint64_t number = 0;
    waterfall::Sending sending;
    waterfall::DrawOptions options;
  };

  void run();
  void deliverFinished();  // on the GUI thread

  std::function<void(const RenderedPicture&)> ready_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<Job> pending_;
  std::optional<RenderedPicture> finished_;
  std::uint64_t lastNumber_ = 0;
  bool quit_ = false;
  std::thread thread_;  // last: started once everything above exists
};

}  // namespace velmora
