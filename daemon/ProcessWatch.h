#pragma once

// Watches another process of the same user, known only by its id, until it
// ends. The watchdog uses it on the agent, which is not its child.
//
// Windows: OpenProcess with SYNCHRONIZE, then waits on the handle.
// POSIX (Linux): a pidfd, which becomes readable when the process ends, even
//   while nobody has reaped it yet. Without pidfd support (kernels before
//   5.3) it falls back to probing with kill(pid, 0) every few milliseconds.

#include <cstdint>

class CProcessWatch {
public:
  explicit CProcessWatch(unsigned long dwPid);
  ~CProcessWatch();

  CProcessWatch(const CProcessWatch&) = delete;
  CProcessWatch& operator=(const CProcessWatch&) = delete;

  // True when the process has ended, waiting at most dwTimeoutMs for that.
  // A process that could not be found reads as ended.
  bool WaitEnd(unsigned long dwTimeoutMs);

private:
  unsigned long m_dwPid;
  // Windows: the process handle; POSIX: the pidfd. -1 when none.
  std::intptr_t m_hProcess;
  bool m_bEnded = false;
};

// Leaves the terminal's session and process group, so that a Ctrl-C meant
// for the agent in a terminal does not also end its watchdog, and points the
// standard streams at the null device: the watchdog and the agents it starts
// never hold on to the pipes or the terminal of whoever started the first
// agent. Nothing on Windows (the watchdog has no console and is started with
// no standard handles).
void DetachFromTerminal();

// Sleeps dwMs milliseconds.
void SleepMilliseconds(unsigned long dwMs);
