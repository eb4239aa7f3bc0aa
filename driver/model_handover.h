// Hand-over of the material tables to the soil model: every layer takes the
// parameter set of its material, every element that of its layer, row 1 (the
// backbone set) from "HH_G.dat" and row 2 (the branch set) from "HH_x.dat".
#pragma once

#include <cstdint>

#include "arrays.h"
#include "column.h"
#include "global_para.h"

namespace zorvik {

// The nine parameters of each layer's material, from whichever table was
// read last.
struct LayerParameters {
  LayerParameters() = default;
  explicit LayerParameters(std::int32_t NL);
  Array1<double> GAMMA_T_VAL, A_VAL, GAMMA_REF_VAL, BETA_VAL, S_VAL, GMAX_VAL, MU_VAL, TMAX_VAL,
      D_VAL;
};

// Layer j takes column MA(j) of PARA_HY, unchanged.
void copy_layer_parameters(const Array2<double>& PARA_HY, const Array1<std::int32_t>& MA,
                           std::int32_t NL, LayerParameters& layers);

// Writes row `row` of the nine parameter arrays of every element from its
// layer's values.
void fill_parameter_row(global_para& gp, int row, const LayerParameters& layers,
                        const Column& column, std::int32_t NL);

}  // namespace zorvik
