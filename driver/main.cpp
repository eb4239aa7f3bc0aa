// Process entry: runs the analysis once; a failure ends the run with one
// diagnostic line and the call chain on standard error, the files opened so
// far closed, and the diagnostic's number as exit status.
#include <cstdio>
#include <new>

#include "fatal.h"
#include "file_table.h"
#include "standard_streams.h"
#include "tamsel.h"

int main() {
  zorvik::FileTable files;
  int status = 0;
  try {
    zorvik::secure_standard_streams();
    zorvik::Tamsel(files);
    return 0;
  } catch (const zorvik::FatalError& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\nCall chain, innermost first:\n%s", zorvik::diagnostic_line(error).c_str(),
                 error.call_chain().c_str());
    status = error.number();
  } catch (const std::bad_alloc&) {
    // A buffer of the reader or the writer that could not be had.
    std::fflush(stdout);
    std::fprintf(stderr, "zorvik: severe (%d): insufficient virtual memory\nCall chain, innermost first:\n  main\n",
                 zorvik::diag::no_memory);
    status = zorvik::diag::no_memory;
  }
  return status;
}
