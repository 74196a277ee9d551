// Ratios between benchmarks of one run. A benchmark program declares pairs
// (a measured kernel and its reference: the plain algorithm, a well-known
// library, or the same kernel on a smaller input) with the bound the ratio
// of their times should keep, and uses KAVRO_BENCHMARK_MAIN() instead of
// Google Benchmark's main. After the usual table it prints one line per
// pair: both names, the ratio of their CPU times per iteration (the machine
// may be busy with other work) and the bound. Timings on a busy machine are noisy; the line says
// "over" rather than failing, since no test asserts on time.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kavro::bench {

struct Ratio {
  std::string name;  // full benchmark name, e.g. "BM_Chain/nodes:300"
  std::string reference;
  double bound;  // the ratio name / reference should stay at or below this
  std::string what;
};

inline std::vector<Ratio>& ratios() {
  static std::vector<Ratio> list;
  return list;
}

// Registers a pair; returns a value so that it can initialise a static.
inline int add_ratio(std::string name, std::string reference, double bound, std::string what) {
  ratios().push_back({std::move(name), std::move(reference), bound, std::move(what)});
  return 0;
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        seconds_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const Ratio& q : ratios()) {
      auto a = seconds_.find(q.name), b = seconds_.find(q.reference);
      if (a == seconds_.end() || b == seconds_.end() || b->second <= 0) continue;
      double ratio = a->second / b->second;
      std::printf("ratio %-44s / %-44s = %8.3f (bound %g%s) %s\n", q.name.c_str(),
                  q.reference.c_str(), ratio, q.bound, ratio <= q.bound ? "" : ", OVER",
                  q.what.c_str());
    }
    std::fflush(stdout);
  }

 private:
  std::map<std::string, double> seconds_;
};

inline int run(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace kavro::bench

#define KAVRO_BENCHMARK_MAIN()            \
  int main(int argc, char** argv) {       \
    return kavro::bench::run(argc, argv); \
  }
