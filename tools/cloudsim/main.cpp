// cloudsim: the simulated cloud signing service. See README.md.
//
//   cloudsim --dir DIR [--port N] [--host 127.0.0.1]

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "tools/cloudsim/SimPki.h"
#include "tools/cloudsim/SimServer.h"
#include "tools/cloudsim/SimService.h"

namespace {

struct COptions {
  std::string strDir;
  std::string strHost = "127.0.0.1";
  unsigned short nPort = 0;
};

bool ParseOptions(int argc, char** argv, COptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string strArg = argv[i];
    if (i + 1 >= argc) return false;
    std::string strValue = argv[++i];
    if (strArg == "--dir") {
      options.strDir = strValue;
    } else if (strArg == "--host") {
      options.strHost = strValue;
    } else if (strArg == "--port") {
      if (strValue.empty() || strValue.size() > 5 ||
          strValue.find_first_not_of("0123456789") != std::string::npos ||
          std::stoul(strValue) > 65535) {
        return false;
      }
      options.nPort = static_cast<unsigned short>(std::stoul(strValue));
    } else {
      return false;
    }
  }
  return !options.strDir.empty();
}

// Writes a file whole under a temporary name, then renames it into place, so
// that a reader sees either nothing or all of it.
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& strText) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out.write(strText.data(), static_cast<std::streamsize>(strText.size())) || !out.flush()) {
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

int Fail(const std::string& strWhat) {
  std::fprintf(stderr, "cloudsim: %s\n", strWhat.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  COptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: cloudsim --dir DIR [--port N] [--host 127.0.0.1]\n");
    return 2;
  }

  // SIGTERM and SIGINT are read from a descriptor by the accept loop; every
  // thread made later inherits the blocked mask. A peer that goes away while
  // a reply is written must not end the process.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return Fail("cannot block signals");
  int nStopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (nStopFd < 0) return Fail("no signal descriptor");
  signal(SIGPIPE, SIG_IGN);

  const std::filesystem::path dir(options.strDir);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  // A port file from an earlier run must not be taken for this one's.
  std::filesystem::remove(dir / "port", ec);

  CSimPki pki;
  if (!pki.Create()) return Fail("keys and certificates not made");
  if (!WriteFileAtomically(dir / "ca.pem", pki.CaPem()) ||
      !WriteFileAtomically(dir / "envelope.pem", pki.EnvelopePem())) {
    return Fail("cannot write ca.pem and envelope.pem in " + options.strDir);
  }

  CSimService service(pki);
  CSimServer server(service, pki);
  unsigned short nPort = 0;
  std::string strError;
  if (!server.Listen(options.strHost, options.nPort, nPort, strError)) return Fail(strError);
  if (!WriteFileAtomically(dir / "port", std::to_string(nPort))) {
    return Fail("cannot write the port file in " + options.strDir);
  }
  std::printf("cloudsim listening on %s:%u\n", options.strHost.c_str(),
              static_cast<unsigned>(nPort));
  std::fflush(stdout);

  server.Run(nStopFd);
  close(nStopFd);
  return 0;
}
