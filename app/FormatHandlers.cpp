#include "FormatHandlers.h"

#include "ExtractAt3.h"
#include "ExtractWac.h"
#include "ExtractWas.h"
#include "ReplayLog.h"

namespace packsmith {

void AttachFormatHandlers(Dispatcher& dispatcher)
{
    dispatcher.Attach(kFormatWac, ExtractWac);
    dispatcher.Attach(kFormatWas, ExtractWas);
    dispatcher.Attach(kFormatAt3, ExtractAt3);
    dispatcher.Attach(kFormatLog, ReplayLog);
    dispatcher.Attach(kFormatProjectList, ReplayLog);
}

} // namespace packsmith
