#include "app/waterfall_renderer.h"

#include <QMetaObject>
#include <exception>

namespace velmora {

WaterfallRenderer::WaterfallRenderer(std::function<void(const RenderedPicture&)> ready, QObject* parent)
    : QObject(parent), ready_(std::move(ready)), thread_([this] { run(); }) {}

WaterfallRenderer::~WaterfallRenderer() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    pending_.reset();
  }
  wake_.notify_one();
  thread_.join();
}

std::uint64_t WaterfallRenderer::request(waterfall::Sending sending, waterfall::DrawOptions options) {
  std::uint64_t number = 0;
  {
    std::lock_guard lock(mutex_);
    number = ++lastNumber_;
    pending_ = Job{number, std::move(sending), options};
  }
  wake_.notify_one();
  return number;
}

void WaterfallRenderer::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
      if (quit_) return;
      job = std::move(*pending_);
      pending_.reset();
    }
    SharedPicture picture;
    try {
      picture =
          std::make_shared<const waterfall::Picture>(waterfall::drawWaterfall(job.sending, job.options));
    } catch (const std::exception&) {
      continue;  // out of memory for a picture: the last one stays, the sound is not affected
    }
    // Handed over under our own lock rather than inside the posted event, so that the
    // hand-over is visible to ThreadSanitizer, which cannot see Qt's locks. Posted events
    // die with this object, so a picture finished during shutdown is simply dropped.
    {
      std::lock_guard lock(mutex_);
      finished_ = RenderedPicture{job.number, job.sending.tuningTone, std::move(picture)};
    }
    QMetaObject::invokeMethod(
        this, [this] { deliverFinished(); }, Qt::QueuedConnection);
  }
}

void WaterfallRenderer::deliverFinished() {
  std::optional<RenderedPicture> rendered;
  {
    std::lock_guard lock(mutex_);
    rendered.swap(finished_);
  }
  if (rendered) ready_(*rendered);
}

}  // namespace velmora
