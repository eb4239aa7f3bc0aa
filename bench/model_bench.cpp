// Cost of one backbone evaluation and of one stress update on realistic
// strain histories. Each benchmark iteration is one call, so the reported
// time is the time per call.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "global_para.h"
#include "hyster.h"
#include "tauhybfkz.h"

namespace {

using zorvik::parameter_set;

// Backbone and branch sets of four materials.
constexpr std::array<parameter_set, 4> kBackbone{{
    {5e-7, 1.2, 5e-4, 1.0, 0.9, 60000.0, 10.0, 50.0, 0.8},
    {1e-6, 1.0, 8e-4, 1.0, 0.95, 90000.0, 8.0, 80.0, 0.85},
    {3e-7, 1.5, 3e-4, 1.2, 0.85, 30000.0, 12.0, 35.0, 0.75},
    {8e-7, 1.1, 1e-3, 0.9, 0.9, 150000.0, 9.0, 120.0, 0.8},
}};
constexpr std::array<parameter_set, 4> kBranch{{
    {2e-6, 0.9, 8e-4, 1.1, 0.85, 45000.0, 6.0, 40.0, 0.7},
    {2e-6, 0.8, 1e-3, 1.0, 0.9, 70000.0, 6.0, 70.0, 0.8},
    {1e-6, 1.2, 5e-4, 1.1, 0.8, 25000.0, 9.0, 30.0, 0.7},
    {1e-6, 1.0, 2e-3, 1.0, 0.85, 120000.0, 7.0, 100.0, 0.75},
}};

constexpr int kElements = 64;
constexpr int kSteps = 16384;

// Strains of both signs, log-uniform over four decades.
std::vector<double> random_strains(std::size_t count) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> decade(-6.0, -2.0);
  std::vector<double> out(count);
  for (std::size_t k = 0; k < count; ++k) {
    const double m = std::pow(10.0, decade(rng));
    out[k] = k % 2 == 0 ? m : -m;
  }
  return out;
}

// One element's strain history at a computation step of 0.5 ms: eight
// sines of random frequency (0.5 to 12 Hz), amplitude and phase under a
// slowly varying envelope, peaking near 0.1 % strain. Loops nest and close at
// many depths, as in a column shaken by a broadband record.
std::vector<double> random_history(std::uint64_t seed) {
  constexpr double kStep = 5e-4;
  constexpr double kTwoPi = 6.283185307179586;
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::array<double, 8> omega{};
  std::array<double, 8> amplitude{};
  std::array<double, 8> phase{};
  for (std::size_t j = 0; j < omega.size(); ++j) {
    omega[j] = kTwoPi * (0.5 + 11.5 * unit(rng));
    amplitude[j] = 2.5e-4 * unit(rng);
    phase[j] = kTwoPi * unit(rng);
  }
  std::vector<double> g(kSteps);
  for (int k = 0; k < kSteps; ++k) {
    const double t = k * kStep;
    double sum = 0.0;
    for (std::size_t j = 0; j < omega.size(); ++j) {
      sum += amplitude[j] * std::sin(omega[j] * t + phase[j]);
    }
    g[static_cast<std::size_t>(k)] = (1.0 + 0.5 * std::sin(kTwoPi * 0.2 * t)) * sum;
  }
  return g;
}

void BM_tauhybfkz(benchmark::State& state) {
  const std::vector<double> strains = random_strains(4096);
  std::size_t k = 0;
  for (auto _ : state) {
    const parameter_set& p = kBackbone[k % kBackbone.size()];
    const double tau = zorvik::tauhybfkz(strains[k % strains.size()], p.gamma_t, p.a, p.gamma_ref,
                                         p.beta, p.s, p.gmax, p.mu, p.tmax, p.d);
    benchmark::DoNotOptimize(tau);
    ++k;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_tauhybfkz);

void BM_hyster(benchmark::State& state) {
  zorvik::global_para gp;
  gp.allocate_parameter_sets(kElements);
  for (int i = 1; i <= kElements; ++i) {
    const auto m = static_cast<std::size_t>(i % 4);
    gp.parameters(1, i) = kBackbone[m];
    gp.parameters(2, i) = kBranch[m];
  }
  gp.reset_hysteresis_state();
  std::vector<std::vector<double>> history;
  for (int i = 0; i < kElements; ++i) {
    history.push_back(random_history(static_cast<std::uint64_t>(i) + 1));
  }
  std::vector<double> g0(kElements, 0.0);
  std::vector<double> d0(kElements, 0.0);
  std::vector<double> tau(kElements, 0.0);
  std::size_t step = 0;
  int e = 0;
  std::int64_t events = 0;
  for (auto _ : state) {
    const auto ue = static_cast<std::size_t>(e);
    const double g1 = history[ue][step];
    const double d1 = g1 - g0[ue];
    zorvik::hyster(gp, tau[ue], d0[ue], d1, g0[ue], g1, e + 1);
    events += gp.par(e + 1);
    g0[ue] = g1;
    d0[ue] = d1;
    if (++e == kElements) {
      e = 0;
      step = (step + 1) % kSteps;
    }
  }
  benchmark::DoNotOptimize(tau.data());
  state.SetItemsProcessed(state.iterations());
  // Share of calls with a reversal or a loop closure.
  state.counters["events"] =
      benchmark::Counter(static_cast<double>(events), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_hyster);

}  // namespace
