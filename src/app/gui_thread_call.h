#pragma once
// Runs a piece of code on the thread that owns a QObject (the GUI thread) and waits for
// it. From that thread itself the call is direct: a blocking queued call to one's own
// thread never returns.

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <type_traits>
#include <utility>

namespace velmora {

template <typename Function>
auto callOnOwnerThread(QObject& owner, Function&& function) -> std::invoke_result_t<Function&> {
  using Result = std::invoke_result_t<Function&>;
  if (QThread::currentThread() == owner.thread()) return function();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(&owner, [&function] { function(); }, Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(&owner, [&function, &result] { result = function(); },
                              Qt::BlockingQueuedConnection);
    return result;
  }
}

}  // namespace velmora
