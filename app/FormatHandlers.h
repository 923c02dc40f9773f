#pragma once

#include "Dispatcher.h"

namespace packsmith {

// Binds every format code to the handler that runs its jobs.
void AttachFormatHandlers(Dispatcher& dispatcher);

} // namespace packsmith
