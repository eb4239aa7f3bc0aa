#pragma once

namespace zorvik {

class FileTable;

// The whole run: start-up, the 21 opens, the set-up from the seven inputs,
// the time loop, the closing lines, the twelve result files and the closes.
// A failure throws FatalError; the files opened so far stay open in `files`
// for the caller to close.
void Tamsel(FileTable& files);

}  // namespace zorvik
