// Fatal diagnostics: every failure of an open, read, write or allocation, and
// every input the program refuses, ends the run through a FatalError. The
// main program prints it as one line on standard error, lists the call chain,
// closes the files opened so far and exits with the diagnostic's number.
#pragma once

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace zorvik {

// Diagnostic numbers. The exit status of a failed run is the number.
namespace diag {
inline constexpr int permission_denied = 9;
inline constexpr int file_not_found = 29;
inline constexpr int open_failure = 30;
inline constexpr int end_of_file = 24;
inline constexpr int syntax_error = 59;
inline constexpr int conversion_error = 64;
inline constexpr int read_error = 39;
inline constexpr int write_readonly = 47;
inline constexpr int write_error = 38;
inline constexpr int no_memory = 41;
inline constexpr int array_size_overflow = 179;
// Refusals of this program's own (input that would crash or corrupt a run).
inline constexpr int missing_value = 71;
inline constexpr int invalid_input = 72;
inline constexpr int non_finite_result = 73;
// A fault of the program itself: an unexpected exception.
inline constexpr int internal_error = 70;
}  // namespace diag

class FatalError : public std::exception {
 public:
  // text is the whole message after "severe (N): ".
  FatalError(int number, std::string text);

  int number() const noexcept { return number_; }
  const std::string& text() const noexcept { return text_; }
  // The call chain at the moment of the failure, innermost first, one
  // stage per line.
  const std::string& call_chain() const noexcept { return call_chain_; }
  // Names where within its stage the failure happened (a line of an input
  // file, say), as the innermost entry of the call chain.
  void locate(std::string_view where);
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  int number_;
  std::string text_;
  std::string call_chain_;
};

// The message of diagnostic `number` ("insufficient virtual memory"), with
// an optional detail appended after ": ".
std::string message(int number, std::string_view detail = {});

// A file diagnostic: "<text>, unit <unit>, file <path>", with an optional
// detail appended after ": ".
FatalError file_error(int number, int unit, std::string_view path, std::string_view detail = {});

// Throws a diagnostic that names no file (memory, results), with its message
// and an optional detail.
[[noreturn]] void fail(int number, std::string_view detail = {});

// The diagnostic of a failed allocation: 179 when the size of an array
// overflowed (std::bad_array_new_length), 41 when the memory could not be had.
FatalError memory_diagnostic(const std::bad_alloc& failure);

// Returns what allocate() returns; a failed allocation in it ends the run
// with its diagnostic, naming the stage it happened in.
template <class F>
decltype(auto) with_memory_diagnostics(F&& allocate) {
  try {
    return std::forward<F>(allocate)();
  } catch (const std::bad_alloc& failure) {
    throw memory_diagnostic(failure);
  }
}

// The line written on standard error: "zorvik: severe (N): <text>".
std::string diagnostic_line(const FatalError& error);

// Marks a stage of the run for the call-chain listing while it is alive.
// Stages nest; the listing shows the innermost first.
class StageScope {
 public:
  explicit StageScope(const char* name) noexcept;
  ~StageScope();
  StageScope(const StageScope&) = delete;
  StageScope& operator=(const StageScope&) = delete;
};

}  // namespace zorvik
