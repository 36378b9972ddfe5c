#pragma once

// A named flag shared between the processes of one user: created unset, set
// once, tested by anyone who knows its name. The agent's quit event is one:
// the agent creates it and sets it when the user chooses to exit; its
// watchdog tests it to tell a chosen exit from a crash.
//
// Windows: a named manual-reset event, initially not set. It exists while any
//   handle to it is open (the watchdog keeps one, so it outlives the agent).
// POSIX: the flag file "<name>.flag" in the per-user runtime directory (see
//   NamedLock.h); it is set when the file holds "1". The file outlives the
//   process that created it, so a watchdog can still read it after the agent
//   ended; Remove() deletes it, which the last user does.

#include <cstdint>
#include <string>

class CNamedFlag {
public:
  enum emOpenMode {
    emCreate = 0,        // create it unset (an existing flag of that name is reset)
    emOpenExisting = 1,  // open one that exists; invalid when there is none
  };

  CNamedFlag(const char* szName, emOpenMode eMode);
  // Closes the flag; does not remove it.
  ~CNamedFlag();

  CNamedFlag(const CNamedFlag&) = delete;
  CNamedFlag& operator=(const CNamedFlag&) = delete;

  // False when the name is null, empty or unusable, or the object could not
  // be created or opened.
  bool IsValid() const;
  // Sets the flag. False when the object is invalid or the system call fails.
  bool Set();
  // True when the flag is set.
  bool IsSet() const;
  // POSIX: deletes the flag file. Windows: nothing (the event goes with its
  // last handle). The object stays usable for IsSet, which then reads false.
  void Remove();

private:
  // Windows: the event handle (0 when none). POSIX: unused.
  std::intptr_t m_hEvent = 0;
  // POSIX: the flag file's path (empty when invalid). Windows: unused.
  std::string m_strPath;
};
