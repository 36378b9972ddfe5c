#include "libs/cloudkey/CkKeyPool.h"

#include <openssl/crypto.h>

#include "libs/cloudkey/CloudKey.h"

namespace {
constexpr size_t kRsaBits = 2048;
}

CCkKeyPool& CCkKeyPool::Instance() {
  static CCkKeyPool s_pool;
  return s_pool;
}

CCkKeyPool::CCkKeyPool() {
  // OpenSSL registers its clean-up at exit when it initialises. Doing that
  // first makes the pool's destructor run before OpenSSL is torn down.
  OPENSSL_init_crypto(0, nullptr);
}

CCkKeyPool::~CCkKeyPool() { Stop(); }

CkPkeyPtr CCkKeyPool::MakeKey() { return CkPkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", kRsaBits)); }

void CCkKeyPool::Start(int nSize) {
  if (nSize <= 0) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_thread.joinable()) return;
  m_nSize = static_cast<size_t>(nSize);
  m_bStop = false;
  m_thread = std::thread(&CCkKeyPool::Run, this);
}

void CCkKeyPool::Stop() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStop = true;
    thread = std::move(m_thread);
  }
  m_cv.notify_all();
  if (thread.joinable()) thread.join();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_keys.clear();
}

int CCkKeyPool::Ready() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_keys.size());
}

CkPkeyPtr CCkKeyPool::Take() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_keys.empty()) {
      CkPkeyPtr pKey = std::move(m_keys.front());
      m_keys.pop_front();
      m_cv.notify_all();
      return pKey;
    }
  }
  return MakeKey();
}

void CCkKeyPool::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_cv.wait(lock, [this] { return m_bStop || m_keys.size() < m_nSize; });
    if (m_bStop) return;
    lock.unlock();
    CkPkeyPtr pKey = MakeKey();
    lock.lock();
    if (m_bStop) return;
    if (pKey) {
      m_keys.push_back(std::move(pKey));
    } else {
      // Generation failing is not expected to mend by itself: stop filling
      // and let each exchange make (and report) its own.
      return;
    }
  }
}

void CK_StartKeyPool(int nSize) { CCkKeyPool::Instance().Start(nSize); }
void CK_StopKeyPool() { CCkKeyPool::Instance().Stop(); }
int CK_KeyPoolReady() { return CCkKeyPool::Instance().Ready(); }
