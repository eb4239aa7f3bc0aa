// Preloaded into a process (LD_PRELOAD), counts its calls of log10 and pow
// between zorvik_libm_probe_start() and zorvik_libm_probe_stop(), and keeps a
// uniform random sample of their arguments; every call is passed on to the
// mathematics library unchanged. Used by zorvik_bench only.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "libm_probe_file.h"

extern "C" {
double log10(double x);
double pow(double x, double y);
void zorvik_libm_probe_start();
int zorvik_libm_probe_stop(const char* path);
}

namespace {

using zorvik::ProbeArguments;

// At most kCapacity arguments per function. A call is kept with probability
// 2^-shift; when the sample is full, every other entry is dropped and the
// probability halved, so the sample stays uniform over all calls.
constexpr std::size_t kCapacity = std::size_t{1} << 19;

std::uint64_t state = 0x9e3779b97f4a7c15U;

std::uint64_t next_random() {  // xorshift64
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

struct Calls {
  std::uint64_t count = 0;
  std::size_t kept = 0;
  int shift = 0;
  ProbeArguments* sample = nullptr;

  void note(ProbeArguments a) {
    ++count;
    const std::uint64_t random = next_random();
    if (shift > 0 && (random >> (64 - shift)) != 0) return;
    if (kept == kCapacity) {
      for (std::size_t k = 0; 2 * k < kCapacity; ++k) sample[k] = sample[2 * k];
      kept = kCapacity / 2;
      ++shift;
      if ((random >> (64 - shift)) != 0) return;
    }
    sample[kept++] = a;
  }
};

bool active = false;
Calls log10_calls;
Calls pow_calls;

template <class F>
F next_definition(const char* name) {
  void* f = dlsym(RTLD_NEXT, name);
  if (f == nullptr) std::abort();
  return reinterpret_cast<F>(f);
}

using unary = double (*)(double);
using binary = double (*)(double, double);

bool write_calls(std::FILE* f, const Calls& c) {
  const zorvik::ProbeHead head{c.count, c.kept};
  return std::fwrite(&head, sizeof head, 1, f) == 1 &&
         std::fwrite(c.sample, sizeof(ProbeArguments), c.kept, f) == c.kept;
}

}  // namespace

extern "C" {

double log10(double x) {
  static const unary next = next_definition<unary>("log10");
  if (active) log10_calls.note({x, 0.0});
  return next(x);
}

double pow(double x, double y) {
  static const binary next = next_definition<binary>("pow");
  if (active) pow_calls.note({x, y});
  return next(x, y);
}

void zorvik_libm_probe_start() {
  for (Calls* c : {&log10_calls, &pow_calls}) {
    *c = Calls{};
    c->sample = static_cast<ProbeArguments*>(std::malloc(kCapacity * sizeof(ProbeArguments)));
    if (c->sample == nullptr) std::abort();
  }
  active = true;
}

// Writes the probe's file (libm_probe_file.h). Returns 0 on success.
int zorvik_libm_probe_stop(const char* path) {
  active = false;
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return 1;
  const bool written = write_calls(f, log10_calls) && write_calls(f, pow_calls);
  return std::fclose(f) == 0 && written ? 0 : 1;
}

}  // extern "C"
