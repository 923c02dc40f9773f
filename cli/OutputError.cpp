#include "cli/OutputError.h"

#include "core/PackError.h"

namespace packsmith {

std::string OutputErrorText(int error)
{
    const std::string cause = CauseOf(error);
    return "Cannot write to standard output" + (cause.empty() ? std::string() : " (" + cause + ")");
}

} // namespace packsmith
