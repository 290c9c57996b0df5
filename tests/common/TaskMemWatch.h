// Watches the COM task allocator for as long as it lives: which blocks allocated meanwhile
// are still live, and how often each block was freed. One watch at a time.
#pragma once
#include <cstddef>

class TaskMemWatch {
 public:
  TaskMemWatch();
  ~TaskMemWatch();
  TaskMemWatch(const TaskMemWatch&) = delete;
  TaskMemWatch& operator=(const TaskMemWatch&) = delete;

  // Blocks allocated during the watch and not freed yet.
  size_t Outstanding() const;
  // How often p was freed during the watch.
  size_t FreeCount(void* p) const;
};
