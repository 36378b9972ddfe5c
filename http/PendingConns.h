#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/sockets/SocketApi.h"
#include "http/ClientConn.h"

// At most this many accepted connections wait for their requests at once.
// Each costs a socket and a small object (its receive buffer only once bytes
// came); beyond the bound the one that has sent nothing for longest goes.
constexpr size_t kMaxPendingConnections = 4096;
// Bytes read at once from a connection that has no receive buffer yet.
constexpr uint32_t kScratchSize = 4096;

// The connections whose requests are still arriving, read by the listener
// thread alone: one wait covers the listening socket and every one of them,
// and whatever has arrived is read without waiting.
class CPendingConns {
 public:
  // A connection that left the set, and why (emRequestComplete: to be served;
  // emRequestEnded: no response; emRequestFailed: to be reset).
  struct Outcome {
    std::unique_ptr<CClientConn> pConn;
    emRequestState nState;
  };

  explicit CPendingConns(size_t nMax = kMaxPendingConnections);
  CPendingConns(const CPendingConns&) = delete;
  CPendingConns& operator=(const CPendingConns&) = delete;

  // Takes a new connection. At the bound, the connection that has sent
  // nothing for longest is taken out first and returned, for the caller to
  // log and reset: the oldest of those that sent nothing at all, or, when
  // every one has sent something, the one whose last bytes are oldest.
  std::unique_ptr<CClientConn> Add(std::unique_ptr<CClientConn> pConn);

  // Takes out the connection that has sent nothing for longest, as Add
  // chooses it (null when the set is empty): room for a new one when the
  // process is out of sockets.
  std::unique_ptr<CClientConn> DropSilent();

  // Waits at most nWaitMs, cut short at the earliest request time-out, until
  // hListener or a pending connection can be read. True when hListener can.
  // False also when the wait failed (after a pause of nWaitMs, so that a
  // lasting failure does not spin).
  bool Wait(SocketHandle hListener, unsigned nWaitMs);

  // Reads every connection the last Wait found readable, and ends those
  // whose time is up; appends each that leaves the set to vecOut. To be
  // called after each Wait, before the next Add.
  void Collect(std::vector<Outcome>& vecOut);

  size_t Size() const { return m_vecConns.size(); }
  size_t Max() const { return m_nMax; }

 private:
  void RemoveAt(size_t nIndex, emRequestState nState, std::vector<Outcome>& vecOut);

  const size_t m_nMax;
  std::vector<std::unique_ptr<CClientConn>> m_vecConns;
  std::vector<SockPollItem> m_vecPoll;  // [0] the listener, then m_vecConns in order
  std::vector<char> m_vecReady;         // per connection, during Collect
  std::unique_ptr<char[]> m_pScratch;
};
