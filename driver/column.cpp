#include "column.h"

#include <algorithm>
#include <limits>
#include <string>

#include "diagnostic_text.h"
#include "fatal.h"
#include "file_table.h"

namespace zorvik {
namespace {

constexpr std::int64_t kMaxIndex = std::numeric_limits<std::int32_t>::max();

// The nearest single-precision value, ties to even, widened back. Beyond the
// single range the value is rounded as the hardware does: to the largest
// single from there up to half an ulp above it, to infinity from there on.
double to_single_precision(double v) {
  constexpr double kLargest = static_cast<double>(std::numeric_limits<float>::max());
  constexpr double kOverflow = 0x1.ffffffp127;  // largest single + half an ulp
  if (v >= kOverflow) return std::numeric_limits<double>::infinity();
  if (v > kLargest) return kLargest;
  return static_cast<double>(static_cast<float>(v));
}

[[noreturn]] void refuse_count(const FileTable& files, const std::string& what) {
  files.fail(diag::invalid_input, Unit::profile, what);
}

}  // namespace

Column divide_layers(const Profile& profile, const RunSettings& s, const FileTable& files) {
  const std::int32_t NL = s.NL;
  Column c;
  c.SUBLAY = Array1<double>(NL);
  c.N_SUBLAY = Array1<std::int32_t>(NL);
  c.DH = Array1<double>(NL);
  c.NODE_INDEX = Array1<std::int32_t>(std::int64_t{NL} + 1);
  c.NODE_DEPTH = Array1<double>(std::int64_t{NL} + 1);
  c.LAYER_INDEX = Array1<std::int32_t>(NL);
  c.LAYER_DEPTH = Array1<double>(NL);

  c.NODE_INDEX(1) = 1;
  c.NODE_DEPTH(1) = 0.0;
  std::int64_t elements = 0;
  for (std::int64_t j = 1; j <= NL; ++j) {
    const double target = (profile.V(j) / s.FMAX) / static_cast<double>(s.NPW);
    c.SUBLAY(j) = to_single_precision(target);
    const double quotient = profile.H(j) / c.SUBLAY(j);
    // The truncated quotient plus one must be a 32-bit count.
    if (!(quotient < static_cast<double>(kMaxIndex))) {
      refuse_count(files, "layer " + std::to_string(j) + ": " + digits_text(quotient, 6) +
                              " elements exceed the 32-bit range");
    }
    c.N_SUBLAY(j) = static_cast<std::int32_t>(quotient) + 1;
    c.DH(j) = profile.H(j) / static_cast<double>(c.N_SUBLAY(j));
    c.NODE_DEPTH(j + 1) = c.NODE_DEPTH(j) + profile.H(j);
    elements += c.N_SUBLAY(j);
    // The base node, number lay_max + 1, must be a 32-bit number too.
    if (elements + 1 > kMaxIndex) {
      refuse_count(files, "the column's " + std::to_string(elements) +
                              " elements (layers 1.." + std::to_string(j) +
                              ") exceed the 32-bit range");
    }
    c.NODE_INDEX(j + 1) = c.NODE_INDEX(j) + c.N_SUBLAY(j);
  }
  for (std::int64_t j = 1; j <= NL; ++j) {
    c.LAYER_DEPTH(j) = (c.NODE_DEPTH(j + 1) + c.NODE_DEPTH(j)) * 0.5;
    // Formed in 64 bits: the sum of two node numbers may pass 2^31.
    c.LAYER_INDEX(j) =
        static_cast<std::int32_t>((std::int64_t{c.NODE_INDEX(j)} + c.NODE_INDEX(j + 1)) / 2);
  }
  c.lay_max = static_cast<std::int32_t>(elements);
  return c;
}

std::int64_t layer_of(const Column& column, std::int32_t e) {
  // The first top node below e is that of the next layer.
  const std::int32_t* tops = column.NODE_INDEX.data();
  return std::upper_bound(tops, tops + column.NODE_INDEX.size(), e) - tops;
}

void set_element_properties(Column& column, const Profile& profile, std::int32_t NL) {
  column.DZ = Array1<double>(column.lay_max);
  column.RHO = Array1<double>(column.lay_max);
  for_each_element(column, NL, [&](std::int64_t j, std::int32_t e) {
    column.DZ(e) = column.DH(j);
    column.RHO(e) = profile.R(j);
  });
}

}  // namespace zorvik
