#include "FormatHandlers.h"

#include "ExtractWac.h"
#include "ExtractWas.h"

namespace packsmith {

void AttachFormatHandlers(Dispatcher& dispatcher)
{
    dispatcher.Attach(kFormatWac, ExtractWac);
    dispatcher.Attach(kFormatWas, ExtractWas);
}

} // namespace packsmith
