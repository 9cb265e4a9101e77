// Received bytes travel from the reader to the user-interface thread in
// blocks of at most 80 bytes through a locked first-in first-out queue.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace k470 {

struct RxBlock {
  // Allocates length bytes (none for 0). data is null only if the
  // allocation failed.
  explicit RxBlock(uint32_t length);

  std::unique_ptr<uint8_t[]> data;
  uint32_t length = 0;
};

// Owns the blocks it holds. Every operation takes the lock itself; the lock
// may be taken again by the same thread.
class CRxQueue {
 public:
  CRxQueue() = default;
  explicit CRxQueue(int growBy) : growBy_(growBy) {}
  ~CRxQueue();
  CRxQueue(const CRxQueue&) = delete;
  CRxQueue& operator=(const CRxQueue&) = delete;

  bool IsEmpty() const;
  // Appends the block; a block without data is dropped.
  void Push(std::unique_ptr<RxBlock> block);
  // Removes and returns the oldest block; null when empty.
  std::unique_ptr<RxBlock> Pop();
  // Destroys every block (newest first) and frees the array.
  void RemoveAll();

  int Count() const;
  int Capacity() const;

 private:
  void Grow(int needed);

  mutable std::recursive_mutex lock_;
  std::unique_ptr<std::unique_ptr<RxBlock>[]> items_;
  int count_ = 0;
  int capacity_ = 0;
  int growBy_ = 0;  // 0: automatic
};

}  // namespace k470
