// Pooled: class-specific allocation from a per-thread free list, for the
// small container objects the decoders create and destroy by the thousand
// (one per decoded record). Internal to the coding library.
#pragma once

#include <cstddef>
#include <new>

namespace quarn::detail {

template <class T>
class Pooled {
 public:
  static void* operator new(std::size_t size) {
    if (size == sizeof(T) && list().head != nullptr) {
      Node* n = list().head;
      list().head = n->next;
      --list().count;
      return n;
    }
    return ::operator new(size);
  }
  static void operator delete(void* p, std::size_t size) {
    if (size == sizeof(T) && list().count < kMaxFree) {
      auto* n = static_cast<Node*>(p);
      n->next = list().head;
      list().head = n;
      ++list().count;
      return;
    }
    ::operator delete(p);
  }

 private:
  static constexpr std::size_t kMaxFree = 256;
  struct Node {
    Node* next;
  };
  struct FreeList {
    Node* head = nullptr;
    std::size_t count = 0;
    ~FreeList() {
      while (head != nullptr) {
        Node* n = head;
        head = n->next;
        ::operator delete(n);
      }
    }
  };
  static FreeList& list() {
    thread_local FreeList l;
    return l;
  }
};

}  // namespace quarn::detail
