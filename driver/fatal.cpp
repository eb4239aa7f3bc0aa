#include "fatal.h"

#include <array>
#include <utility>

namespace zorvik {
namespace {

constexpr int kMaxStages = 32;
std::array<const char*, kMaxStages> g_stages{};
int g_depth = 0;

std::string current_call_chain() {
  std::string chain;
  for (int k = g_depth; k-- > 0;) {
    if (k >= kMaxStages) continue;
    chain += "  ";
    chain += g_stages[static_cast<std::size_t>(k)];
    chain += '\n';
  }
  chain += "  main\n";
  return chain;
}

const char* message_text(int number) {
  switch (number) {
    case diag::permission_denied: return "permission to access file denied";
    case diag::file_not_found: return "file not found";
    case diag::open_failure: return "open failure";
    case diag::end_of_file: return "end-of-file during read";
    case diag::syntax_error: return "list-directed I/O syntax error";
    case diag::conversion_error: return "input conversion error";
    case diag::read_error: return "error during read";
    case diag::write_readonly: return "write to READONLY file";
    case diag::write_error: return "error during write";
    case diag::missing_value: return "missing value";
    case diag::invalid_input: return "invalid input value";
    case diag::no_memory: return "insufficient virtual memory";
    case diag::array_size_overflow: return "Cannot allocate array - overflow on array size calculation.";
    case diag::non_finite_result: return "non-finite result";
    case diag::internal_error: return "internal error";
    default: return "input/output error";
  }
}

std::string with_detail(std::string text, std::string_view detail) {
  if (!detail.empty()) {
    text += ": ";
    text += detail;
  }
  return text;
}

}  // namespace

FatalError::FatalError(int number, std::string text)
    : number_(number), text_(std::move(text)), call_chain_(current_call_chain()) {}

void FatalError::locate(std::string_view where) {
  call_chain_.insert(0, "  " + std::string(where) + "\n");
}

std::string message(int number, std::string_view detail) { return with_detail(message_text(number), detail); }

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): as every diagnostic reads
FatalError file_error(int number, int unit, std::string_view path, std::string_view detail) {
  std::string text = message_text(number);
  text += ", unit ";
  text += std::to_string(unit);
  text += ", file ";
  text += path;
  return {number, with_detail(std::move(text), detail)};
}

void fail(int number, std::string_view detail) { throw FatalError(number, message(number, detail)); }

FatalError memory_diagnostic(const std::bad_alloc& failure) {
  const bool overflow = dynamic_cast<const std::bad_array_new_length*>(&failure) != nullptr;
  const int number = overflow ? diag::array_size_overflow : diag::no_memory;
  return FatalError(number, message(number));
}

std::string diagnostic_line(const FatalError& error) {
  return "zorvik: severe (" + std::to_string(error.number()) + "): " + error.text();
}

StageScope::StageScope(const char* name) noexcept {
  if (g_depth < kMaxStages) g_stages[static_cast<std::size_t>(g_depth)] = name;
  ++g_depth;
}

StageScope::~StageScope() { --g_depth; }

}  // namespace zorvik
