// The standard streams as the run finds them: descriptors 0, 1 and 2 are
// held open, on /dev/null where the process started without them, so that no
// file the run opens can take their place and receive the progress marks or a
// diagnostic; and neither a reader of standard output that goes away nor a
// file-size limit ends the run from outside.
#pragma once

namespace zorvik {

// Before the first open. Ignores SIGPIPE and SIGXFSZ, so that a write to a
// closed pipe or beyond the file-size limit (`ulimit -f`) fails, with EPIPE
// or EFBIG, instead of killing the process. Throws the open diagnostic (30) when
// /dev/null cannot be had for a closed descriptor.
void secure_standard_streams();

}  // namespace zorvik
