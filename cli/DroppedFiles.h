#pragma once

#include <string>
#include <vector>

namespace packsmith {

// Files dropped on the program in a file manager come as its only arguments, each a full
// path, with nothing to say where the outputs go. Such arguments get a target: a folder
// beside the first file, named after it without its extension (sprites.at3 into sprites/).
// Any other command line comes back as it is.
std::vector<std::string> WithDropTarget(std::vector<std::string> args);

} // namespace packsmith
