#pragma once
// Console output of a benchmark run, followed by the ratios of our times over the peer's
// for benchmarks named Ours<What> and Lib<What>.
#include <benchmark/benchmark.h>

#include <initializer_list>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace vxbench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(std::string peer, std::initializer_list<const char*> whats)
      : peer_(std::move(peer)), whats_(whats.begin(), whats.end()) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) {
        const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
        cpu_[name] = r.GetAdjustedCPUTime();
        real_[name] = r.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    // CPU time is the steadier figure on a shared machine; both are shown.
    for (const std::string& what : whats_) {
      const std::string ours = "Ours" + what, lib = "Lib" + what;
      if (!cpu_.count(ours) || !cpu_.count(lib) || cpu_.at(lib) <= 0 || real_.at(lib) <= 0)
        continue;
      std::cout << what << ": ours / " << peer_ << " = " << cpu_.at(ours) / cpu_.at(lib)
                << " (CPU time), " << real_.at(ours) / real_.at(lib) << " (real time)\n";
    }
    std::cout.flush();
  }

 private:
  std::string peer_;
  std::vector<std::string> whats_;
  std::map<std::string, double> cpu_, real_;
};

}  // namespace vxbench
