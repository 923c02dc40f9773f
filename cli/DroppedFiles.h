#pragma once

#include <string>
#include <vector>

#include "platform/Terminal.h"

namespace packsmith {

// Files dropped on the program in a file manager come as its only arguments, each a full
// path, with nothing to say where the outputs go.
bool AreDroppedFiles(const std::vector<std::string>& args);
// Whether the program was started for files dropped on it in Explorer: started by it,
// alone in a console of its own (which closes with the program, so it waits for Enter),
// and given only full paths. Any other start, by a shell or by another program, whatever
// its console, is a command line like any other.
bool IsFileDrop(const ConsoleStart& start, const std::vector<std::string>& args);
// Dropped files get a target: a folder beside the first file, named after it without its
// extension (sprites.at3 into sprites/). Any other command line comes back as it is.
std::vector<std::string> WithDropTarget(std::vector<std::string> args);
// What a run of dropped files that cannot be run says, in place of a usage error, to
// someone who cannot type options: what was wrong with the files (reason, the usage
// error's, where nothing plainer fits) and what to drop instead. Several lines, each ended.
std::string DroppedFilesAdvice(const std::vector<std::string>& files, const std::string& reason);

} // namespace packsmith
