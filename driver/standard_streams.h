// The standard streams as the run finds them: descriptors 0, 1 and 2 are
// held open, on /dev/null where the process started without them, so that no
// file the run opens can take their place and receive the progress marks or a
// diagnostic; and a reader of standard output that goes away ends nothing.
#pragma once

namespace zorvik {

// Before the first open. Ignores SIGPIPE, so that a write to a closed pipe
// fails instead of killing the process. Throws the open diagnostic (30) when
// /dev/null cannot be had for a closed descriptor.
void secure_standard_streams();

}  // namespace zorvik
