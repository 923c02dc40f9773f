#pragma once

namespace packsmith {

// Whether the process's standard error goes to a terminal (where a progress line may be
// redrawn in place), not to a file or a pipe.
bool StandardErrorIsTerminal();

} // namespace packsmith
