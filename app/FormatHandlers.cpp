#include "FormatHandlers.h"

#include "ExtractAt3.h"
#include "ExtractWac.h"
#include "ExtractWas.h"

namespace packsmith {

void AttachFormatHandlers(Dispatcher& dispatcher)
{
    dispatcher.Attach(kFormatWac, ExtractWac);
    dispatcher.Attach(kFormatWas, ExtractWas);
    dispatcher.Attach(kFormatAt3, ExtractAt3);
}

} // namespace packsmith
