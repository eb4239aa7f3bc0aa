#include "input_files.h"

#include <utility>

#include "file_table.h"

namespace zorvik {

RunSettings read_control(FreeFormatReader& in) {
  RunSettings s;
  in.begin_statement();
  s.FMAX = in.real("FMAX");
  s.NPW = in.integer("NPW");
  s.M_SUB = in.integer("M_SUB");
  s.BASE_TYPE = in.integer("BASE_TYPE");
  s.NL = in.integer("NL");
  s.NT = in.integer("NT");
  s.NMAT = in.integer("NMAT");
  s.unused = in.integer("the eighth value");
  s.NPT = in.integer("NPT");
  in.end_statement();
  return s;
}

IncidentRecord read_incident(FreeFormatReader& in, std::int32_t NT) {
  IncidentRecord r{Array1<double>(NT), Array1<double>(NT)};
  in.begin_statement();
  for (std::int64_t i = 1; i <= NT; ++i) {
    r.T(i) = in.real("T", i);
    r.A(i) = in.real("A", i);
  }
  in.end_statement();
  return r;
}

Profile read_profile(FreeFormatReader& in, std::int32_t NL) {
  const std::int64_t rows = std::int64_t{NL} + 1;
  Profile p{Array1<double>(rows), Array1<double>(rows), Array1<double>(rows),
            Array1<double>(rows), Array1<std::int32_t>(rows)};
  in.begin_statement();
  for (std::int64_t i = 1; i <= rows; ++i) {
    p.H(i) = in.real("H", i);
    p.V(i) = in.real("V", i);
    p.X(i) = in.real("X", i);
    p.R(i) = in.real("R", i);
    p.MA(i) = in.integer("MA", i);
  }
  in.end_statement();
  for (std::int64_t i = 1; i <= rows; ++i) p.R(i) = p.R(i) * 1000.0;
  p.VS_B = p.V(rows);
  p.RHO_B = p.R(rows);
  return p;
}

Array2<double> read_curve(FreeFormatReader& in, const RunSettings& s) {
  const std::int64_t columns = std::int64_t{4} * s.NMAT;
  Array2<double> DEGRADATION(s.NPT, columns);
  for (std::int64_t i = 1; i <= s.NPT; ++i) {
    in.begin_statement();
    for (std::int64_t k = 1; k <= columns; ++k) DEGRADATION(i, k) = in.real("DEGRADATION", k);
    in.end_statement();
  }
  return DEGRADATION;
}

RelaxationTable read_tabk(FreeFormatReader& in) {
  RelaxationTable t;
  in.begin_statement();
  for (std::size_t k = 0; k < kMechanisms; ++k) {
    const auto mechanism = static_cast<std::int64_t>(k + 1);
    t.T_K[k] = in.real("T_K", mechanism);
    t.A_K[k] = in.real("A_K", mechanism);
    t.B_K[k] = in.real("B_K", mechanism);
  }
  in.end_statement();
  return t;
}

void read_parameter_table(FreeFormatReader& in, Array2<double>& PARA_HY) {
  // Row p holds parameter p of materials 1..NMAT.
  for (std::int64_t p = 1; p <= kParameters; ++p) {
    in.begin_statement();
    const char* name = kParameterNames[static_cast<std::size_t>(p - 1)];
    for (std::int64_t m = 1; m <= PARA_HY.extent2(); ++m) PARA_HY(p, m) = in.real(name, m);
    in.end_statement();
  }
}

FreeFormatReader::WrittenValue written(const FileTable& files, Unit unit, const ItemPlace& place,
                                       std::string fallback) {
  auto value = FreeFormatReader::value_as_written(files.fd(unit), place);
  return value ? std::move(*value) : FreeFormatReader::WrittenValue{std::move(fallback), 0};
}

}  // namespace zorvik
