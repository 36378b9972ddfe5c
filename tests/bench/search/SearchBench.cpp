// Times the three searches of the base library against the C library's memmem
// on 1 MiB texts, each with its only match at the very end, and prints every
// search's time as a ratio to memmem's (below 1 means faster than memmem).

#include "base/search/StringSearch.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

const size_t s_nTextSize = 1u << 20;

struct Scenario {
  std::string strName;
  std::string strText;
  std::string strPattern;
};

std::string RandomBytes(std::mt19937& rng, const std::string& alphabet, size_t n) {
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string s(n, '\0');
  for (char& c : s) c = alphabet[pick(rng)];
  return s;
}

// The text is filler followed by the pattern, so every search reads it all.
Scenario Make(std::string strName, std::string strFiller, std::string strPattern) {
  strFiller.resize(s_nTextSize - strPattern.size());
  return Scenario{std::move(strName), strFiller + strPattern, std::move(strPattern)};
}

std::vector<Scenario> MakeScenarios() {
  std::mt19937 rng(12345u);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  std::vector<Scenario> vec;
  vec.push_back(Make("letters_m16", RandomBytes(rng, letters, s_nTextSize),
                     RandomBytes(rng, letters, 16)));
  vec.push_back(Make("letters_m1000", RandomBytes(rng, letters, s_nTextSize),
                     RandomBytes(rng, letters, 1000)));
  vec.push_back(Make("dna_m32", RandomBytes(rng, "ACGT", s_nTextSize),
                     RandomBytes(rng, "ACGT", 32)));
  std::string strHeaders;
  for (int i = 0; strHeaders.size() < s_nTextSize; ++i) {
    strHeaders += "X-Field-" + std::to_string(i) + ": some header value\r\n";
  }
  strHeaders.resize(s_nTextSize - 4);
  strHeaders.back() = 'v';  // no "\r\n" right before the terminator
  vec.push_back(Make("http_crlfcrlf", strHeaders, "\r\n\r\n"));
  vec.push_back(Make("zeros_m64", std::string(s_nTextSize, '\0'),
                     std::string(63, '\0') + std::string(1, '\x01')));
  return vec;
}

using SearchFn = int (*)(const unsigned char*, unsigned, const unsigned char*, unsigned);

int MemmemSearch(const unsigned char* pText, unsigned nText, const unsigned char* pPattern,
                 unsigned nPattern) {
  const void* p = ::memmem(pText, nText, pPattern, nPattern);
  return p == nullptr ? -1 : static_cast<int>(static_cast<const unsigned char*>(p) - pText);
}

struct Algorithm {
  const char* szName;
  SearchFn pFn;
};

const Algorithm s_algorithms[] = {{"memmem", MemmemSearch},
                                  {"KMP", KMPSearchMemory},
                                  {"BM", BMSearchMemory},
                                  {"Sunday", SundaySearchMemory}};

int Run(const Algorithm& algo, const Scenario& sc) {
  return algo.pFn(reinterpret_cast<const unsigned char*>(sc.strText.data()),
                  static_cast<unsigned>(sc.strText.size()),
                  reinterpret_cast<const unsigned char*>(sc.strPattern.data()),
                  static_cast<unsigned>(sc.strPattern.size()));
}

// Keeps the CPU time per iteration of every run, by benchmark name (CPU time,
// not wall time: the ratios should not depend on what else the machine runs).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& vecRuns) override {
    ConsoleReporter::ReportRuns(vecRuns);
    for (const Run& run : vecRuns) {
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
        m_mapTimes[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
  }
  std::map<std::string, double> m_mapTimes;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<Scenario> vecScenarios = MakeScenarios();
  for (const Scenario& sc : vecScenarios) {
    const int nExpected = static_cast<int>(sc.strText.size() - sc.strPattern.size());
    for (const Algorithm& algo : s_algorithms) {
      int nFound = Run(algo, sc);
      if (nFound != nExpected) {
        std::fprintf(stderr, "%s on %s found %d, expected %d\n", algo.szName,
                     sc.strName.c_str(), nFound, nExpected);
        return 1;
      }
      benchmark::RegisterBenchmark((sc.strName + "/" + algo.szName).c_str(),
                                   [&sc, &algo](benchmark::State& state) {
                                     for (auto _ : state) {
                                       benchmark::DoNotOptimize(Run(algo, sc));
                                     }
                                     state.SetBytesProcessed(
                                         static_cast<int64_t>(state.iterations()) *
                                         static_cast<int64_t>(sc.strText.size()));
                                   })
          ->Unit(benchmark::kMicrosecond);
    }
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nTime relative to memmem (CPU time, 1 MiB text, match at the end; <1 is faster):\n");
  std::printf("%-16s %14s %8s %8s %8s\n", "text", "memmem cpu us", "KMP", "BM", "Sunday");
  for (const Scenario& sc : vecScenarios) {
    auto it = reporter.m_mapTimes.find(sc.strName + "/memmem");
    if (it == reporter.m_mapTimes.end()) continue;  // filtered out
    std::printf("%-16s %14.1f", sc.strName.c_str(), it->second);
    for (const char* szAlgo : {"KMP", "BM", "Sunday"}) {
      auto itAlgo = reporter.m_mapTimes.find(sc.strName + "/" + szAlgo);
      if (itAlgo == reporter.m_mapTimes.end()) {
        std::printf(" %8s", "-");
      } else {
        std::printf(" %8.2f", itAlgo->second / it->second);
      }
    }
    std::printf("\n");
  }
  return 0;
}
