// The comparison every benchmark makes: ours and the reference run interleaved (A, B, A, B ...)
// over many rounds, so that a burst of load on the machine hits both sides alike; each side's
// figure is the median of its rounds with the quartiles as spread, and the ratio is the median
// of the per-round ratios. Results are checked equal before any figure is printed.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// Stops the benchmark when the two sides did not produce the same result.
inline void Require(bool same, const std::string& what) {
  if (same) return;
  std::fprintf(stderr, "MISMATCH: %s; no ratio printed\n", what.c_str());
  std::fflush(stdout);
  std::_Exit(1);
}

struct Spread {
  double median = 0, low = 0, high = 0;  // median and the first and third quartiles
};

inline Spread Summarise(std::vector<double> v) {
  Spread s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  auto at = [&](double q) { return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)]; };
  s.median = at(0.5);
  s.low = at(0.25);
  s.high = at(0.75);
  return s;
}

struct Comparison {
  std::vector<double> ours, reference;  // seconds per round
  Spread Ours() const { return Summarise(ours); }
  Spread Reference() const { return Summarise(reference); }
  // Our time over the reference's, round by round.
  Spread TimeRatio() const {
    std::vector<double> r;
    for (std::size_t i = 0; i < ours.size() && i < reference.size(); ++i) r.push_back(ours[i] / reference[i]);
    return Summarise(r);
  }
};

inline double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs ours() and reference() alternately, `rounds` times each, starting with the other side
// every second round. Each returns the seconds its round took (so that set-up can stay
// untimed), or a negative value to have the call timed as a whole.
template <class Ours, class Reference>
Comparison Interleave(int rounds, Ours&& ours, Reference&& reference) {
  Comparison c;
  auto timed = [](auto& body) {
    const auto t0 = std::chrono::steady_clock::now();
    const double s = body();
    return s >= 0 ? s : Seconds(t0);
  };
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      c.ours.push_back(timed(ours));
      c.reference.push_back(timed(reference));
    } else {
      c.reference.push_back(timed(reference));
      c.ours.push_back(timed(ours));
    }
  }
  return c;
}

// "12.3 (11.9-12.8)": a median with its quartiles, in the given unit.
inline std::string Format(const Spread& s, double scale, const char* format = "%.2f") {
  char a[32], b[32], m[32], out[128];
  std::snprintf(m, sizeof m, format, s.median * scale);
  std::snprintf(a, sizeof a, format, s.low * scale);
  std::snprintf(b, sizeof b, format, s.high * scale);
  std::snprintf(out, sizeof out, "%s (%s-%s)", m, a, b);
  return out;
}

// One row of the summary table that scripts/bench.sh collects: the lines starting "| ".
inline void Row(const std::string& benchmark, const std::string& ours, const std::string& reference,
                const std::string& ratio) {
  std::printf("| %s | %s | %s | %s |\n", benchmark.c_str(), ours.c_str(), reference.c_str(), ratio.c_str());
  std::fflush(stdout);
}

}  // namespace bench
