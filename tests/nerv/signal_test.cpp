#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <vn/vn.hpp>

namespace {

using Calls = std::vector<std::string>;

TEST(SignalTest, EmittingWithoutConnectionsDoesNothing) {
  nerv::Signal<void(int)> signal;
  signal.emit(1);
  EXPECT_TRUE(signal.connections.empty());
}

TEST(SignalTest, IdentifiersCountFromZeroInConnectionOrder) {
  nerv::Signal<void()> signal;
  EXPECT_EQ(signal.connect([] {}), 0);
  EXPECT_EQ(signal.connect([] {}), 1);
  EXPECT_EQ(signal.connect([] {}), 2);
  ASSERT_EQ(signal.connections.size(), 3U);
  EXPECT_EQ(signal.connections[2].first, 2);
}

TEST(SignalTest, SlotsRunInConnectionOrderOnEveryEmission) {
  nerv::Signal<void(int, int)> signal;
  Calls calls;
  for (std::string name : {"a", "b", "c"}) {
    signal.connect([&calls, name](int x, int y) {
      calls.push_back(name + std::to_string(x) + std::to_string(y));
    });
  }
  signal.emit(1, 2);
  signal.emit(3, 4);
  EXPECT_EQ(calls, (Calls{"a12", "b12", "c12", "a34", "b34", "c34"}));
}

TEST(SignalTest, SlotsSeeTheEmittersVariableAsItIsWhenTheyRun) {
  nerv::Signal<void(int)> signal;
  int position = 5;
  std::vector<int> seen;
  signal.connect([&](int p) {
    seen.push_back(p);
    position = 9;
  });
  signal.connect([&](int p) { seen.push_back(p); });
  signal.emit(position);
  EXPECT_EQ(seen, (std::vector<int>{5, 9}));

  nerv::Signal<void(std::string const&)> text_signal;
  std::string text = "old";
  std::vector<std::string> texts;
  text_signal.connect([&](std::string const& t) {
    texts.push_back(t);
    text = "new";
  });
  text_signal.connect([&](std::string const& t) { texts.push_back(t); });
  text_signal.emit(text);
  EXPECT_EQ(texts, (Calls{"old", "new"}));
}

TEST(SignalTest, SlotsWithDeadOrEmptyTrackedItemsAreSkippedButKept) {
  nerv::Signal<void()> signal;
  Calls calls;
  auto alive = std::make_shared<int>(1);
  auto doomed = std::make_shared<int>(2);

  nerv::Slot<void()> tracked_alive{[&] { calls.push_back("alive"); }};
  tracked_alive.tracked_items.push_back(alive);
  nerv::Slot<void()> tracked_doomed{[&] { calls.push_back("doomed"); }};
  tracked_doomed.tracked_items.push_back(alive);
  tracked_doomed.tracked_items.push_back(doomed);
  nerv::Slot<void()> tracked_nothing{[&] { calls.push_back("empty"); }};
  tracked_nothing.tracked_items.emplace_back();

  signal.connect(std::move(tracked_alive));
  signal.connect(std::move(tracked_doomed));
  signal.connect(std::move(tracked_nothing));
  signal.connect([&] { calls.push_back("plain"); });

  signal.emit();
  doomed.reset();
  signal.emit();
  EXPECT_EQ(calls, (Calls{"alive", "doomed", "plain", "alive", "plain"}));
  EXPECT_EQ(signal.connections.size(), 4U);
}

TEST(SignalTest, ExceptionFromASlotEndsTheEmission) {
  nerv::Signal<void(int)> signal;
  Calls calls;
  signal.connect([&](int) { calls.push_back("first"); });
  signal.connect([&](int x) {
    if (x == 1) {
      throw std::runtime_error("slot failed");
    }
    calls.push_back("second");
  });
  signal.connect([&](int) { calls.push_back("third"); });
  EXPECT_THROW(signal.emit(1), std::runtime_error);
  EXPECT_EQ(calls, Calls{"first"});
  EXPECT_EQ(signal.connections.size(), 3U);
  signal.emit(2);
  EXPECT_EQ(calls, (Calls{"first", "first", "second", "third"}));
}

TEST(SignalTest, EmptySlotFunctionThrowsBadFunctionCall) {
  nerv::Signal<void()> signal;
  bool later = false;
  signal.connect(nerv::Slot<void()>{});
  signal.connect([&] { later = true; });
  EXPECT_THROW(signal.emit(), std::bad_function_call);
  EXPECT_FALSE(later);
}

TEST(SignalTest, MovingASlotLeavesTheSourceEmpty) {
  nerv::Slot<void(int)> source{[](int) {}};
  source.tracked_items.push_back(std::make_shared<int>(0));
  nerv::Slot<void(int)> target{std::move(source)};
  EXPECT_TRUE(target.function);
  EXPECT_EQ(target.tracked_items.size(), 1U);
  EXPECT_FALSE(source.function);  // NOLINT(bugprone-use-after-move): the contract under test
  EXPECT_TRUE(source.tracked_items.empty());
}

TEST(SignalTest, DisconnectRemovesByIdentifier) {
  nerv::Signal<void()> signal;
  Calls calls;
  signal.connect([&] { calls.push_back("a"); });
  nerv::Identifier const b = signal.connect([&] { calls.push_back("b"); });
  signal.connect([&] { calls.push_back("c"); });
  EXPECT_TRUE(signal.disconnect(b));
  EXPECT_FALSE(signal.disconnect(b));
  EXPECT_FALSE(signal.disconnect(42));
  signal.emit();
  EXPECT_EQ(calls, (Calls{"a", "c"}));
  EXPECT_EQ(signal.connect([] {}), 3);
}

TEST(SignalTest, IdentifiersAreNeverReused) {
  nerv::Signal<void()> signal;
  bool old_called = false;
  signal.connect([] {});
  nerv::Identifier const old = signal.connect([&] { old_called = true; });
  ASSERT_TRUE(signal.disconnect(old));
  // The list's last identifier is 0 again, but 1 has been handed out already.
  nerv::Identifier const fresh = signal.connect([] {});
  EXPECT_EQ(fresh, 2);
  EXPECT_FALSE(signal.disconnect(old));
  EXPECT_EQ(signal.connections.size(), 2U);

  ASSERT_TRUE(signal.disconnect(0));
  ASSERT_TRUE(signal.disconnect(fresh));
  EXPECT_EQ(signal.connect([] {}), 3);
  signal.emit();
  EXPECT_FALSE(old_called);
}

TEST(SignalTest, ASlotMayDisconnectItselfAndOthersWhileRunning) {
  nerv::Signal<void()> signal;
  Calls calls;
  nerv::Identifier self = -1;
  nerv::Identifier later = -1;
  self = signal.connect([&] {
    calls.push_back("once");
    EXPECT_TRUE(signal.disconnect(self));
    EXPECT_FALSE(signal.disconnect(self));
    EXPECT_TRUE(signal.disconnect(later));
    calls.push_back("still running");
  });
  signal.connect([&] { calls.push_back("always"); });
  later = signal.connect([&] { calls.push_back("removed before its turn"); });
  signal.emit();
  EXPECT_EQ(signal.connections.size(), 1U);
  signal.emit();
  EXPECT_EQ(calls, (Calls{"once", "still running", "always", "always"}));
}

TEST(SignalTest, SlotsConnectedDuringAnEmissionRunFromTheNextOne) {
  nerv::Signal<void()> signal;
  Calls calls;
  std::optional<nerv::Identifier> added;
  signal.connect([&] {
    calls.push_back("adder");
    if (!added) {
      added = signal.connect([&] { calls.push_back("added"); });
    }
  });
  signal.connect([&] { calls.push_back("second"); });
  signal.emit();
  EXPECT_EQ(added, 2);
  EXPECT_EQ(calls, (Calls{"adder", "second"}));
  signal.emit();
  EXPECT_EQ(calls, (Calls{"adder", "second", "adder", "second", "added"}));
  EXPECT_EQ(signal.connect([] {}), 3);
}

TEST(SignalTest, ChangesDuringAnEmissionSurviveAnException) {
  nerv::Signal<void()> signal;
  int calls = 0;
  nerv::Identifier self = -1;
  self = signal.connect([&] {
    ++calls;
    signal.disconnect(self);
    signal.connect([&] { ++calls; });
    throw std::runtime_error("after changing the list");
  });
  EXPECT_THROW(signal.emit(), std::runtime_error);
  ASSERT_EQ(signal.connections.size(), 1U);
  signal.emit();
  EXPECT_EQ(calls, 2);
}

TEST(SignalTest, NestedEmissionOfTheSameSignal) {
  nerv::Signal<void(int)> signal;
  std::vector<int> seen;
  signal.connect([&](int depth) {
    seen.push_back(depth);
    if (depth == 0) {
      int next = 1;
      signal.emit(next);
    }
  });
  signal.connect([&](int depth) { seen.push_back(10 + depth); });
  signal.emit(0);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 11, 10}));
}

struct Counter : vn::Widget {
  Counter() : Widget{vn::FocusPolicy::None, vn::SizePolicy::flex(1.0F)} {}
  int value = 0;
};

TEST(TrackedTest, PassesWidgetsFirstThenTheArguments) {
  Counter a;
  Counter b;
  nerv::Signal<void(int, int)> signal;
  signal.connect(vn::tracked(
      [](Counter& first, Counter& second, int x, int y) {
        first.value = x;
        second.value = y;
      },
      a, b));
  signal.emit(3, 4);
  EXPECT_EQ(a.value, 3);
  EXPECT_EQ(b.value, 4);
}

TEST(TrackedTest, DestroyedWidgetSkipsOnlyItsSlot) {
  auto doomed = std::make_unique<Counter>();
  Counter survivor;
  nerv::Signal<void(int)> signal;
  int doomed_calls = 0;
  signal.connect(vn::tracked([&](Counter&, int) { ++doomed_calls; }, *doomed));
  signal.connect(vn::tracked([&](Counter&, Counter&, int) { ++doomed_calls; }, survivor, *doomed));
  signal.connect(vn::tracked([](Counter& c, int x) { c.value += x; }, survivor));
  signal.emit(1);
  doomed.reset();
  signal.emit(2);
  EXPECT_EQ(doomed_calls, 2);
  EXPECT_EQ(survivor.value, 3);
  EXPECT_EQ(signal.connections.size(), 3U);
}

TEST(TrackedTest, FollowsAWidgetThroughMoves) {
  Counter original;
  nerv::Signal<void(int)> signal;
  Counter* called_with = nullptr;
  signal.connect(vn::tracked(
      [&](Counter& c, int x) {
        called_with = &c;
        c.value = x;
      },
      original));

  Counter constructed{std::move(original)};
  signal.emit(7);
  EXPECT_EQ(called_with, &constructed);
  EXPECT_EQ(constructed.value, 7);

  Counter assigned;
  assigned = std::move(constructed);
  signal.emit(8);
  EXPECT_EQ(called_with, &assigned);
  EXPECT_EQ(assigned.value, 8);
}

TEST(TrackedTest, TargetOfMoveAssignmentLosesItsOldSlots) {
  Counter target;
  Counter source;
  nerv::Signal<void()> signal;
  int calls = 0;
  signal.connect(vn::tracked([&](Counter&) { ++calls; }, target));
  target = std::move(source);
  signal.emit();
  EXPECT_EQ(calls, 0);
}

TEST(TrackedTest, CopiesShareTheViews) {
  auto widget = std::make_unique<Counter>();
  int calls = 0;
  auto wrapper = vn::tracked([&](Counter&) { ++calls; }, *widget);
  auto copy = wrapper;
  std::function<void()> const as_function = copy;
  wrapper();
  as_function();
  widget.reset();
  wrapper();
  as_function();
  EXPECT_EQ(calls, 2);
}

}  // namespace
