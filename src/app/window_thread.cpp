#include "app/window_thread.h"

#include <future>
#include <memory>

namespace korvan {

bool PostAndWait(WindowThread& window, std::function<void()> task) {
  // A dropped task destroys the promise unset, which breaks the future instead of hanging it.
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> ran = done->get_future();
  auto runner = [task = std::move(task), done = std::move(done)]() mutable {
    task();
    done->set_value();
  };
  if (!window.Post(std::move(runner))) {
    return false;
  }
  try {
    ran.get();
    return true;
  } catch (const std::future_error&) {
    return false;
  }
}

}  // namespace korvan
