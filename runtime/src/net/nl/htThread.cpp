// Threads and mutexes of the socket layer, over the C++ standard library.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>

#include "net/nl/nl.h"

struct HTmutexImpl {
  std::mutex m;
};

namespace {
struct JoinableThread {
  std::thread thread;
  void* result = nullptr;
};
}  // namespace

HThreadID htThreadCreate(HThreadFunc func, void* data, NLboolean joinable) {
  if (!func) return nullptr;
  try {
    if (joinable) {
      auto* t = new JoinableThread;
      t->thread = std::thread([t, func, data] { t->result = func(data); });
      return t;
    }
    std::thread(func, data).detach();
    // A detached thread has no handle worth keeping; any non-null value reports success.
    return reinterpret_cast<HThreadID>(static_cast<std::uintptr_t>(1));
  } catch (...) {
    return nullptr;
  }
}

NLint htThreadJoin(HThreadID thread, void** status) {
  auto* t = static_cast<JoinableThread*>(thread);
  if (!t || !t->thread.joinable()) return 1;
  t->thread.join();
  if (status) *status = t->result;
  delete t;
  return 0;
}

void htThreadSleep(NLint milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void htThreadYield() { std::this_thread::yield(); }

NLint htMutexInit(HTmutex* mutex) {
  if (!mutex) return 1;
  *mutex = new (std::nothrow) HTmutexImpl;
  return *mutex ? 0 : 1;
}

NLint htMutexLock(HTmutex* mutex) {
  if (!mutex || !*mutex) return 1;
  (*mutex)->m.lock();
  return 0;
}

NLint htMutexUnlock(HTmutex* mutex) {
  if (!mutex || !*mutex) return 1;
  (*mutex)->m.unlock();
  return 0;
}

void htMutexDestroy(HTmutex* mutex) {
  if (!mutex || !*mutex) return;
  delete *mutex;
  *mutex = nullptr;
}
