#include "model_handover.h"

namespace zorvik {

LayerParameters::LayerParameters(std::int32_t NL)
    : GAMMA_T_VAL(NL), A_VAL(NL), GAMMA_REF_VAL(NL), BETA_VAL(NL), S_VAL(NL), GMAX_VAL(NL),
      MU_VAL(NL), TMAX_VAL(NL), D_VAL(NL) {}

void copy_layer_parameters(const Array2<double>& PARA_HY, const Array1<std::int32_t>& MA,
                           std::int32_t NL, LayerParameters& layers) {
  for (std::int64_t j = 1; j <= NL; ++j) {
    const std::int32_t m = MA(j);
    layers.GAMMA_T_VAL(j) = PARA_HY(1, m);
    layers.A_VAL(j) = PARA_HY(2, m);
    layers.GAMMA_REF_VAL(j) = PARA_HY(3, m);
    layers.BETA_VAL(j) = PARA_HY(4, m);
    layers.S_VAL(j) = PARA_HY(5, m);
    layers.GMAX_VAL(j) = PARA_HY(6, m);
    layers.MU_VAL(j) = PARA_HY(7, m);
    layers.TMAX_VAL(j) = PARA_HY(8, m);
    layers.D_VAL(j) = PARA_HY(9, m);
  }
}

void fill_parameter_row(global_para& gp, int row, const LayerParameters& layers,
                        const Column& column, std::int32_t NL) {
  for_each_element(column, NL, [&](std::int64_t j, std::int32_t e) {
    gp.gamma_t_sub(row, e) = layers.GAMMA_T_VAL(j);
    gp.a_sub(row, e) = layers.A_VAL(j);
    gp.gamma_ref_sub(row, e) = layers.GAMMA_REF_VAL(j);
    gp.beta_sub(row, e) = layers.BETA_VAL(j);
    gp.s_sub(row, e) = layers.S_VAL(j);
    gp.gmax(row, e) = layers.GMAX_VAL(j);
    gp.mu_sub(row, e) = layers.MU_VAL(j);
    gp.tmax_sub(row, e) = layers.TMAX_VAL(j);
    gp.d_sub(row, e) = layers.D_VAL(j);
  });
}

}  // namespace zorvik
