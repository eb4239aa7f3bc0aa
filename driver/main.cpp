// Process entry: runs the analysis once; a failure ends the run with one
// diagnostic line and the call chain on standard error, the files opened so
// far closed, and the diagnostic's number as exit status.
#include <cstdio>
#include <exception>
#include <new>

#include "fatal.h"
#include "file_table.h"
#include "standard_streams.h"
#include "tamsel.h"

namespace {

int report(const zorvik::FatalError& error) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\nCall chain, innermost first:\n%s", zorvik::diagnostic_line(error).c_str(),
               error.call_chain().c_str());
  return error.number();
}

}  // namespace

int main() {
  zorvik::FileTable files;
  try {
    zorvik::secure_standard_streams();
    zorvik::Tamsel(files);
    return 0;
  } catch (const zorvik::FatalError& error) {
    return report(error);
  } catch (const std::bad_alloc& failure) {
    // A buffer of the reader or the writer that could not be had.
    return report(zorvik::memory_diagnostic(failure));
  } catch (const std::exception& failure) {
    return report(zorvik::FatalError(zorvik::diag::internal_error,
                                     zorvik::message(zorvik::diag::internal_error, failure.what())));
  }
}
