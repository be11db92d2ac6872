#include "support/read_table.hpp"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <typeinfo>
#include <variant>

#include "support/process.hpp"

namespace vennic::test {
namespace {

std::string hex(unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", value);
  return buffer;
}

std::string describe(dalk::Mouse const& mouse) {
  return std::to_string(mouse.at.x) + "," + std::to_string(mouse.at.y) + " button " +
         std::to_string(static_cast<unsigned>(mouse.button)) +
         (mouse.modifiers.shift ? " shift" : "") + (mouse.modifiers.ctrl ? " ctrl" : "") +
         (mouse.modifiers.alt ? " alt" : "");
}

// Bytes as hex, for failure messages.
std::string dump(std::string_view bytes) {
  std::string out;
  for (char const b : bytes) {
    out += hex(static_cast<unsigned char>(b)) + " ";
  }
  return out;
}

}  // namespace

std::string describe(dalk::Event const& event) {
  if (auto const* key = std::get_if<dalk::KeyPress>(&event)) {
    return "press " + hex(static_cast<unsigned>(key->key));
  }
  if (auto const* key = std::get_if<dalk::KeyRelease>(&event)) {
    return "release " + hex(static_cast<unsigned>(key->key));
  }
  if (auto const* resize = std::get_if<dalk::Resize>(&event)) {
    return "resize " + std::to_string(resize->area.width) + "x" +
           std::to_string(resize->area.height);
  }
  if (auto const* m = std::get_if<dalk::MousePress>(&event)) {
    return "mouse press " + describe(m->mouse);
  }
  if (auto const* m = std::get_if<dalk::MouseRelease>(&event)) {
    return "mouse release " + describe(m->mouse);
  }
  if (auto const* m = std::get_if<dalk::MouseWheel>(&event)) {
    return "mouse wheel " + describe(m->mouse);
  }
  if (auto const* m = std::get_if<dalk::MouseMove>(&event)) {
    return "mouse move " + describe(m->mouse);
  }
  if (auto const* paste = std::get_if<dalk::Paste>(&event)) {
    return "paste " + paste->text;
  }
  return "event " + std::to_string(event.index());
}

std::string press(dalk::Key key) {
  return describe(dalk::KeyPress{key});
}

std::string release(dalk::Key key) {
  return describe(dalk::KeyRelease{key});
}

std::string outcome_of(std::function<std::optional<dalk::Event>()> const& read) {
  try {
    auto const event = read();
    return event ? describe(*event) : none;
  } catch (std::exception const& error) {
    auto const& type = typeid(error);
    if (type == typeid(std::invalid_argument)) {
      return "invalid_argument";
    }
    if (type == typeid(std::out_of_range)) {
      return "out_of_range";
    }
    if (type == typeid(dalk::InputEnded)) {
      return std::string("InputEnded: ") + error.what();
    }
    if (type == typeid(std::runtime_error)) {
      return std::string("runtime_error: ") + error.what();
    }
    if (type == typeid(std::logic_error)) {
      return std::string("logic_error: ") + error.what();
    }
    return std::string("other exception: ") + error.what();
  }
}

void expect_reads(std::vector<ReadCase> const& cases,
                  std::function<void(std::string_view)> const& write, int read_end) {
  using namespace std::chrono_literals;
  for (auto const& c : cases) {
    write(c.bytes);
    std::vector<std::string> outcomes;
    for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
      auto const start = std::chrono::steady_clock::now();
      outcomes.push_back(c.blocking ? outcome_of([] { return dalk::read(); })
                                    : outcome_of([] { return dalk::read(1000); }));
      // Loose bound: only a read that waits for the next key would take this long.
      EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << dump(c.bytes);
    }
    EXPECT_EQ(outcomes, c.outcomes) << dump(c.bytes) << (c.blocking ? "(blocking)" : "");
    EXPECT_TRUE(drained(read_end)) << dump(c.bytes);
  }
}

bool drained(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 0 || (entry.revents & POLLIN) == 0;
}

void expect_in_child(std::function<void()> const& body) {
  auto const result = run_in_child([&body] {
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_TRUE(result.exited) << result.output;
  EXPECT_EQ(result.exit_status, 0) << result.output;
}

}  // namespace vennic::test
