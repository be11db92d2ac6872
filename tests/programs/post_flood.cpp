// An application thread that calls vn::post 100,000 times a second from the key p on, each
// function showing how many have run; q quits with status 0.
#include <atomic>
#include <chrono>
#include <stop_token>
#include <string>
#include <thread>
#include <vn/vn.hpp>

int main() {
  vn::Label label{vn::Label::init};
  label.text = "ready";
  long handled = 0;
  std::atomic<bool> posting{false};
  vn::Application application{label, vn::Terminal{}};
  application.bind(dalk::key(U'p'), [&posting] { posting = true; });
  application.bind(dalk::key(U'q'), [] { vn::quit(0); });
  // Joined before the application ends: once run() has returned, a post no longer waits.
  std::jthread poster{[&](std::stop_token const& stop) {
    using Clock = std::chrono::steady_clock;
    while (!posting && !stop.stop_requested()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto next = Clock::now(); !stop.stop_requested();) {
      for (int i = 0; i < 1000; ++i) {
        vn::post([&label, &handled] { label.text = std::to_string(++handled); });
      }
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
    }
  }};
  return application.run();
}
