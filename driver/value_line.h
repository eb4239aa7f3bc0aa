// Where a value stands in an input file, found again by reading the file from
// its start: for diagnostics that point at one value of a file read long ago.
#pragma once

#include <cstdint>

namespace zorvik {

// The line that holds value n (from 1) of the file's first read statement.
// Values are separated by blanks, tabs, commas and line ends, and a repeat
// r*v stands for r values: enough for a statement that the reader accepted.
// Reads with pread(2), so the file's position does not matter; 0 when the
// file cannot be read that far.
std::int64_t line_of_value(int fd, std::int64_t n);

}  // namespace zorvik
