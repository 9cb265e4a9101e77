#include "configtool/serial/rx_queue.h"

#include <algorithm>
#include <new>
#include <utility>

namespace k470 {

RxBlock::RxBlock(uint32_t n) {
  if (n > 0) {
    data.reset(new (std::nothrow) uint8_t[n]);
    if (data) length = n;
  }
}

CRxQueue::~CRxQueue() { RemoveAll(); }

bool CRxQueue::IsEmpty() const {
  std::lock_guard guard(lock_);
  return count_ == 0;
}

int CRxQueue::Count() const {
  std::lock_guard guard(lock_);
  return count_;
}

int CRxQueue::Capacity() const {
  std::lock_guard guard(lock_);
  return capacity_;
}

void CRxQueue::Grow(int needed) {
  int step = growBy_;
  if (step == 0) step = std::clamp(count_ / 8, 4, 1024);
  int newCapacity = std::max(capacity_ + step, needed);
  auto items = std::make_unique<std::unique_ptr<RxBlock>[]>(static_cast<size_t>(newCapacity));
  for (int i = 0; i < count_; ++i) items[i] = std::move(items_[i]);
  items_ = std::move(items);
  capacity_ = newCapacity;
}

void CRxQueue::Push(std::unique_ptr<RxBlock> block) {
  if (!block || !block->data) return;
  std::lock_guard guard(lock_);
  if (count_ == capacity_) Grow(count_ + 1);
  items_[count_++] = std::move(block);
}

std::unique_ptr<RxBlock> CRxQueue::Pop() {
  std::lock_guard guard(lock_);
  if (count_ == 0) return nullptr;
  std::unique_ptr<RxBlock> oldest = std::move(items_[0]);
  for (int i = 1; i < count_; ++i) items_[i - 1] = std::move(items_[i]);
  --count_;
  return oldest;
}

void CRxQueue::RemoveAll() {
  std::lock_guard guard(lock_);
  for (int i = count_ - 1; i >= 0; --i) items_[i].reset();
  items_.reset();
  count_ = 0;
  capacity_ = 0;
}

}  // namespace k470
