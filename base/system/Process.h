#pragma once

// Child processes and the process environment.
//
// CProcess starts one program with an argument list and an environment and
// owns the child's handle: wait for it with a time-out, read its exit code,
// kill it. The program is named by a path (absolute, or relative to the
// current directory); no search along PATH is made.
//
// Windows: CreateProcessA with an environment block and a command line quoted
//   by the C runtime's rules; the environment functions are the kernel's
//   (GetEnvironmentVariableA / SetEnvironmentVariableA), which the C
//   runtime's getenv does not see.
// POSIX: posix_spawn; a child that died of a signal reads as exit code
//   128 + signal number (9 after Kill gives 137). Kill sends SIGKILL. A
//   child that is still running when its CProcess is destroyed is reaped by
//   a detached thread when it ends, so it never stays a zombie.

#include <cstdint>
#include <string>
#include <vector>

#ifndef TOLVAN_INFINITE
// Wait without a time-out (the value of Windows' INFINITE).
#define TOLVAN_INFINITE 0xFFFFFFFFUL
#endif

class CProcess {
public:
  // Standard streams of the child that Start connects to pipes held here.
  enum emStdPipe {
    emPipeNone = 0,
    // The child's standard input is a pipe that stays open until
    // CloseInput() or destruction: a child reading it sees end-of-file when
    // the parent goes away, even when the parent is killed.
    emPipeStdin = 1,
    // The child's standard output is a pipe read with ReadOutput().
    emPipeStdout = 2,
    // The child gets no standard streams of this process: Windows passes
    // null standard handles (STARTF_USESTDHANDLES); POSIX opens /dev/null
    // for each. A pipe asked for as well takes its stream.
    emNoStdHandles = 4,
    // Windows: the child starts with the system's default error mode, not
    // this process's (CREATE_DEFAULT_ERROR_MODE). POSIX: nothing to do.
    emDefaultErrorMode = 8,
  };

  CProcess();
  // Closes the pipes and the handle. Neither waits for nor kills the child.
  ~CProcess();

  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;

  // Starts szPath with vecArgs as its argument list (vecArgs[0] is the
  // program name the child sees; an empty list passes szPath). pvecEnv holds
  // "NAME=value" strings for the child's whole environment; null passes this
  // process's current environment. nPipes is a mask of emStdPipe. No handle
  // of this process is inherited unless a pipe is asked for. A child
  // started earlier by this object is let go first (as by the destructor).
  // False when the program cannot be started.
  bool Start(const char* szPath, const std::vector<std::string>& vecArgs,
             const std::vector<std::string>* pvecEnv = nullptr, int nPipes = emPipeNone);

  // Waits at most dwTimeoutMs (TOLVAN_INFINITE: no limit) for the child to
  // end. True when it has ended (also when it had ended before).
  bool Wait(unsigned long dwTimeoutMs);
  // The exit code once the child has ended (Wait returned true); false while
  // it runs or when there is no child.
  bool GetExitCode(unsigned long& dwExitCode) const;
  // Ends the child at once (SIGKILL / TerminateProcess with 137). True when
  // the request was made; Wait then reports the end.
  bool Kill();
  // The child's process id; 0 when there is none.
  unsigned long GetPid() const { return m_dwPid; }

  // Reads at most nLen bytes of the child's standard output (emPipeStdout),
  // blocking until some arrive. The count read, 0 at end of output, -1 on
  // error or when there is no such pipe.
  long ReadOutput(void* pBuf, unsigned long nLen);
  // Reads one line (without its "\n" or "\r\n") of the child's output. False
  // at end of output before any byte of a line.
  bool ReadOutputLine(std::string& strLine);
  // Closes the child's standard input pipe (it sees end-of-file).
  void CloseInput();

private:
  // Lets go of the child (as the destructor does) and clears the state.
  void Release();
  // The platform halves of Release and Start: ReleaseChild closes the pipes
  // and the child's handle; SpawnChild starts a program (szPath not empty).
  void ReleaseChild();
  bool SpawnChild(const char* szPath, const std::vector<std::string>& vecArgs,
                  const std::vector<std::string>* pvecEnv, int nPipes);
  // One read from the standard output pipe, bypassing m_strPending.
  long ReadRaw(void* pBuf, unsigned long nLen);

  unsigned long m_dwPid = 0;
  // Windows: the process handle; POSIX: unused (the pid is the handle).
  void* m_hProcess = nullptr;
  // Pipe ends kept by the parent: descriptors on POSIX, handles on Windows.
  std::intptr_t m_hStdinWrite;
  std::intptr_t m_hStdoutRead;
  bool m_bEnded = false;
  unsigned long m_dwExitCode = 0;
  std::string m_strPending;  // output read past the last returned line
};

// The calling process's id.
unsigned long GetCurrentPid();

// Reads environment variable szName into strValue. False when it is not set.
bool GetEnvVar(const char* szName, std::string& strValue);
// Sets environment variable szName; a null szValue removes it. False on a
// bad name (null, empty or holding '=') or a system failure.
bool SetEnvVar(const char* szName, const char* szValue);
// The whole current environment as "NAME=value" strings.
std::vector<std::string> GetProcessEnvironment();
