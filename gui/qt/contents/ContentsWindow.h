#pragma once

#include <string>

class QWidget;

namespace packsmith {
class DialogOperations;
}

namespace packsmith::qt {

// Whether the file is of a format whose contents can be shown (packs and packed sound).
bool HasContents(const std::string& path);

// Opens a window of its own showing what the file holds: a pack's pictures or a sound. The
// window belongs to parent and closes with it; the parent stays usable meanwhile. A file
// that cannot be read gets an error box naming it instead.
void ShowContents(const std::string& path, QWidget* parent, DialogOperations& dialogs);

} // namespace packsmith::qt
