#include "http/PendingConns.h"

#include <chrono>
#include <thread>
#include <utility>

#include "base/system/Clock.h"

CPendingConns::CPendingConns(size_t nMax)
    : m_nMax(nMax > 0 ? nMax : 1), m_pScratch(new char[kScratchSize]) {}

std::unique_ptr<CClientConn> CPendingConns::Add(std::unique_ptr<CClientConn> pConn) {
  std::unique_ptr<CClientConn> pDropped;
  if (m_vecConns.size() >= m_nMax) pDropped = DropSilent();
  if (pConn) m_vecConns.push_back(std::move(pConn));
  return pDropped;
}

std::unique_ptr<CClientConn> CPendingConns::DropSilent() {
  if (m_vecConns.empty()) return nullptr;
  // Silent ones first, the oldest of them; when every one has sent
  // something, the one whose last bytes are oldest.
  const auto quieter = [](const CClientConn& a, const CClientConn& b) {
    if ((a.m_nReceived == 0) != (b.m_nReceived == 0)) return a.m_nReceived == 0;
    return a.m_nLastRecvTick < b.m_nLastRecvTick;
  };
  size_t nSilent = 0;
  for (size_t i = 1; i < m_vecConns.size(); ++i) {
    if (quieter(*m_vecConns[i], *m_vecConns[nSilent])) nSilent = i;
  }
  std::unique_ptr<CClientConn> pDropped = std::move(m_vecConns[nSilent]);
  m_vecConns[nSilent] = std::move(m_vecConns.back());
  m_vecConns.pop_back();
  return pDropped;
}

bool CPendingConns::Wait(SocketHandle hListener, unsigned nWaitMs) {
  const uint64_t nNow = GetTickCountMs();
  uint64_t nWait = nWaitMs;
  m_vecPoll.clear();
  m_vecPoll.push_back(SockPollItem{hListener, false});
  for (const auto& pConn : m_vecConns) {
    m_vecPoll.push_back(SockPollItem{pConn->m_hSocket, false});
    const uint64_t nDue = pConn->m_nAcceptTick + kRequestTimeoutMs;
    const uint64_t nLeft = nDue > nNow ? nDue - nNow : 0;
    if (nLeft < nWait) nWait = nLeft;
  }
  if (SockPollReceive(m_vecPoll.data(), m_vecPoll.size(), static_cast<long>(nWait)) < 0) {
    for (SockPollItem& item : m_vecPoll) item.bReady = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(nWaitMs));
    return false;
  }
  return m_vecPoll[0].bReady;
}

void CPendingConns::RemoveAt(size_t nIndex, emRequestState nState, std::vector<Outcome>& vecOut) {
  vecOut.push_back(Outcome{std::move(m_vecConns[nIndex]), nState});
  m_vecConns[nIndex] = std::move(m_vecConns.back());
  m_vecConns.pop_back();
  m_vecReady[nIndex] = m_vecReady.back();
  m_vecReady.pop_back();
}

void CPendingConns::Collect(std::vector<Outcome>& vecOut) {
  // The last wait saw the set as it is now (nothing is added between a wait
  // and its collection); connections it did not see are not ready.
  m_vecReady.assign(m_vecConns.size(), 0);
  for (size_t i = 0; i < m_vecConns.size() && i + 1 < m_vecPoll.size(); ++i) {
    m_vecReady[i] = m_vecPoll[i + 1].bReady && m_vecPoll[i + 1].hSocket == m_vecConns[i]->m_hSocket;
  }
  m_vecPoll.clear();
  const uint64_t nNow = GetTickCountMs();
  size_t i = 0;
  while (i < m_vecConns.size()) {
    CClientConn& conn = *m_vecConns[i];
    emRequestState nState = emRequestWaiting;
    if (m_vecReady[i]) nState = conn.ReadRequest(m_pScratch.get(), kScratchSize);
    if (nState == emRequestWaiting && conn.Expired(nNow)) nState = conn.EndIncomplete();
    if (nState == emRequestWaiting) {
      ++i;
    } else {
      RemoveAt(i, nState, vecOut);  // the last one moved to i: look at it next
    }
  }
}
