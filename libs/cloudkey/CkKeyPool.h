#pragma once

// RSA-2048 key pairs made ahead of time on a background thread, so that an
// exchange does not wait for key generation. Each key leaves the pool once.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "libs/cloudkey/CkOssl.h"

class CCkKeyPool {
 public:
  static CCkKeyPool& Instance();
  ~CCkKeyPool();
  CCkKeyPool(const CCkKeyPool&) = delete;
  CCkKeyPool& operator=(const CCkKeyPool&) = delete;

  void Start(int nSize);
  void Stop();
  int Ready();
  // A ready key, or one made now when none is ready; null when generation fails.
  CkPkeyPtr Take();

  static CkPkeyPtr MakeKey();

 private:
  CCkKeyPool();
  void Run();

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<CkPkeyPtr> m_keys;
  std::thread m_thread;
  size_t m_nSize = 0;
  bool m_bStop = false;
};
