// The element column: every layer divided into equal elements thin enough
// that NPW of them span the shortest wavelength at FMAX; elements 1..lay_max
// and nodes 1..lay_max + 1 numbered from the free surface down.
#pragma once

#include <cstdint>

#include "arrays.h"
#include "input_files.h"

namespace zorvik {

class FileTable;

struct Column {
  // Per layer, 1..NL.
  Array1<double> SUBLAY;             // target element thickness (a single-precision value)
  Array1<std::int32_t> N_SUBLAY;     // number of elements
  Array1<double> DH;                 // thickness of each of its elements
  Array1<std::int32_t> LAYER_INDEX;  // recorded element: the middle, or the lower middle one
  Array1<double> LAYER_DEPTH;        // depth of the layer's middle
  // Per boundary, 1..NL + 1.
  Array1<std::int32_t> NODE_INDEX;   // node at the top of the layer; NL + 1 is the base node
  Array1<double> NODE_DEPTH;         // depth of that node
  std::int32_t lay_max = 0;          // number of elements
  // Per element, 1..lay_max.
  Array1<double> DZ;                 // thickness
  Array1<double> RHO;                // density
  static constexpr std::size_t bytes_per_element = 2 * sizeof(double);
};

// Divides the layers into elements. A column of more elements than 32-bit
// node numbers can count is refused (diagnostic 72 on "profile.dat").
Column divide_layers(const Profile& profile, const RunSettings& s, const FileTable& files);

// The layer (1..NL) that holds element e.
std::int64_t layer_of(const Column& column, std::int32_t e);

// Gives every element the thickness and density of its layer.
void set_element_properties(Column& column, const Profile& profile, std::int32_t NL);

// Calls f(j, e) for every element e of every layer j, both in increasing order.
// (Element numbers stay below 2^31 - 1, the base node's number.)
template <class F>
void for_each_element(const Column& column, std::int32_t NL, F&& f) {
  std::int32_t e = 0;
  for (std::int64_t j = 1; j <= NL; ++j) {
    for (std::int32_t k = 1; k <= column.N_SUBLAY(j); ++k) f(j, ++e);
  }
}

}  // namespace zorvik
