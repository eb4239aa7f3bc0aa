// Result writing on an output-heavy case: MB/s of result text for the twelve
// files of a run of NL layers and NT samples whose tables hold values of the
// magnitudes a site gives (with a checksum of the files, so that a faster
// writer can be checked to write the same bytes), and ns per field of the
// number edit alone.
//
//   result_bench [NL [NT [repetitions]]]     (defaults 40 40000 5)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fatal.h"
#include "file_table.h"
#include "fp_mode.h"
#include "number_edit.h"
#include "result_writing.h"

namespace {

namespace fs = std::filesystem;

// Deterministic values: random signs, mantissas and decimal magnitudes from
// 1e-9 to 1e6, with some zeros.
class Values {
 public:
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    if (state_ % 64 == 0) return 0.0;
    const double mantissa = 1.0 + static_cast<double>(state_ >> 12) * 0x1p-52;
    const int magnitude = static_cast<int>((state_ >> 4) % 16) - 9;
    const double v = mantissa * std::pow(10.0, magnitude);
    return (state_ & 1) != 0 ? -v : v;
  }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

// Line by line, as the files show them.
void fill(zorvik::Array2<double>& table, Values& values) {
  for (std::int64_t i = 1; i <= table.extent2(); ++i) {
    for (std::int64_t j = 1; j <= table.extent1(); ++j) table(j, i) = values.next();
  }
}

std::uint64_t checksum_of_files() {
  std::uint64_t h = 1469598103934665603ULL;
  for (const char* name : {"t.dat", "layer_depth.dat", "node_depth.dat", "max_v.dat", "max_d.dat",
                           "max_gamma.dat", "max_tau.dat", "out_a.dat", "out_v.dat", "out_d.dat",
                           "out_gamma.dat", "out_tau.dat"}) {
    std::ifstream in(name, std::ios::binary);
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
      h = (h ^ static_cast<unsigned char>(*it)) * 1099511628211ULL;
    }
  }
  return h;
}

// ns per E17.6E3 field, edited into memory only.
double ns_per_field(const std::vector<double>& values) {
  std::vector<char> text(values.size() * zorvik::kEFieldWidth);
  double best = 1e30;
  for (int r = 0; r < 5; ++r) {
    const auto start = std::chrono::steady_clock::now();
    char* out = text.data();
    for (const double v : values) {
      zorvik::edit_e17_6e3(v, out);
      out += zorvik::kEFieldWidth;
    }
    const auto stop = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(stop - start).count());
  }
  return best * 1e9 / static_cast<double>(values.size());
}

}  // namespace

int main(int argc, char** argv) {
  const std::int32_t NL = argc > 1 ? std::atoi(argv[1]) : 40;
  const std::int32_t NT = argc > 2 ? std::atoi(argv[2]) : 40000;
  const int repetitions = argc > 3 ? std::atoi(argv[3]) : 5;
  const fs::path work = fs::temp_directory_path() / ("zorvik-result-bench-" + std::to_string(::getpid()));
  fs::create_directories(work);
  const fs::path home = fs::current_path();
  fs::current_path(work);
  zorvik::set_flush_to_zero_mode();

  int status = 0;
  try {
    Values values;
    zorvik::IncidentRecord incident;
    incident.T = zorvik::Array1<double>(NT);
    for (std::int32_t i = 1; i <= NT; ++i) incident.T(i) = 0.005 * (i - 1);
    zorvik::Column column;
    column.LAYER_DEPTH = zorvik::Array1<double>(NL);
    column.NODE_DEPTH = zorvik::Array1<double>(std::int64_t{NL} + 1);
    for (std::int32_t j = 1; j <= NL; ++j) {
      column.NODE_DEPTH(j + 1) = 2.5 * j;
      column.LAYER_DEPTH(j) = 2.5 * j - 1.25;
    }
    zorvik::Records records(NT, NL);
    for (auto* t : {&records.OUT_A, &records.OUT_V, &records.OUT_D, &records.OUT_GAMMA, &records.OUT_TAU}) {
      fill(*t, values);
    }
    for (auto* m : {&records.MAX_V, &records.MAX_D, &records.MAX_GAMMA, &records.MAX_TAU}) {
      for (std::int64_t j = 1; j <= m->size(); ++j) (*m)(j) = std::fabs(values.next());
    }

    zorvik::WritingRate best;
    for (int r = 0; r < repetitions; ++r) {
      zorvik::FileTable files;
      files.open_all();
      const zorvik::WritingRate rate = zorvik::time_result_writing(files, incident, column, records);
      files.close_all();
      if (r == 0 || rate.seconds < best.seconds) best = rate;
    }
    std::vector<double> sample(1 << 20);
    for (double& v : sample) v = values.next();

    std::printf("case              NL = %d, NT = %d\n", NL, NT);
    std::printf("result text       %.1f MB, best of %d runs\n", static_cast<double>(best.bytes) * 1e-6,
                repetitions);
    std::printf("result writing    %.4f s, %.1f MB/s\n", best.seconds, best.mb_per_s());
    std::printf("E17.6E3 edit      %.1f ns per field\n", ns_per_field(sample));
    std::printf("files checksum    %016llx\n", static_cast<unsigned long long>(checksum_of_files()));
  } catch (const zorvik::FatalError& error) {
    std::fprintf(stderr, "%s\n", zorvik::diagnostic_line(error).c_str());
    status = error.number();
  }
  fs::current_path(home);
  fs::remove_all(work);
  return status;
}
