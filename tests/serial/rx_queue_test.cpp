// The receive queue: first in, first out across its growth, and its growth
// rule.
#include "configtool/serial/rx_queue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>

namespace k470 {
namespace {

std::unique_ptr<RxBlock> Block(uint32_t serial) {
  auto block = std::make_unique<RxBlock>(4);
  std::memcpy(block->data.get(), &serial, 4);
  return block;
}

uint32_t Serial(const RxBlock& block) {
  uint32_t serial;
  std::memcpy(&serial, block.data.get(), 4);
  return serial;
}

TEST(RxQueueTest, PopOrderIsFirstInFirstOutAcrossManyGrowSteps) {
  CRxQueue queue;
  std::deque<uint32_t> expected;
  uint32_t next = 0;
  int grows = 0;
  int capacity = queue.Capacity();
  // Mostly pushes, some pops, so the array grows many times while the
  // oldest blocks keep leaving from the front.
  for (int step = 0; step < 20000; ++step) {
    if (step % 3 == 2) {
      ASSERT_FALSE(queue.IsEmpty());
      auto block = queue.Pop();
      ASSERT_TRUE(block);
      ASSERT_EQ(Serial(*block), expected.front());
      expected.pop_front();
    } else {
      queue.Push(Block(next));
      expected.push_back(next++);
    }
    if (queue.Capacity() != capacity) {
      ++grows;
      capacity = queue.Capacity();
    }
  }
  EXPECT_GT(grows, 20);
  while (!expected.empty()) {
    auto block = queue.Pop();
    ASSERT_TRUE(block);
    ASSERT_EQ(Serial(*block), expected.front());
    expected.pop_front();
  }
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(queue.Pop(), nullptr);
}

TEST(RxQueueTest, AutomaticGrowthIsAnEighthOfTheCountBetween4And1024) {
  CRxQueue queue;
  // (blocks pushed, capacity afterwards)
  const std::pair<int, int> samples[] = {
      {1, 4},     {4, 4},     {5, 8},     {9, 12},    {33, 36},   {37, 40},
      {41, 45},   {46, 50},   {51, 56},   {8193, 0},
  };
  int pushed = 0;
  for (const auto& [count, capacity] : samples) {
    while (pushed < count) {
      queue.Push(Block(pushed));
      ++pushed;
    }
    if (capacity != 0) {
      EXPECT_EQ(queue.Capacity(), capacity) << count;
    }
  }
  // Far beyond 8192 blocks the step is capped at 1024.
  while (queue.Count() < queue.Capacity()) queue.Push(Block(0));
  int before = queue.Capacity();
  ASSERT_GE(before / 8, 1024);
  queue.Push(Block(0));
  EXPECT_EQ(queue.Capacity(), before + 1024);
}

TEST(RxQueueTest, FixedStepPopNeverShrinksRemoveAllFreesEverything) {
  CRxQueue queue(10);
  for (int i = 0; i < 11; ++i) queue.Push(Block(i));
  EXPECT_EQ(queue.Capacity(), 20);
  for (int i = 0; i < 11; ++i) queue.Pop();
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(queue.Capacity(), 20);
  queue.Push(Block(1));
  queue.RemoveAll();
  EXPECT_EQ(queue.Count(), 0);
  EXPECT_EQ(queue.Capacity(), 0);
}

TEST(RxQueueTest, ABlockWithoutDataIsNotQueued) {
  CRxQueue queue;
  queue.Push(std::make_unique<RxBlock>(0));
  queue.Push(nullptr);
  EXPECT_TRUE(queue.IsEmpty());
}

}  // namespace
}  // namespace k470
