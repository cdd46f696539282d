// Which manifest paths the launcher may touch. A manifest comes from the network, so a path is
// only an entry when, appended to the client folder, it names a file inside that folder.
#pragma once

#include <string>

namespace quenlor {

// True for "\name" and "\folder\...\name" whose components are ordinary names. False when the
// path does not begin with a backslash (it would extend the folder's own name), holds a drive,
// a colon (also alternate data streams), a component of dots and spaces only ("..", "..."),
// a device name (CON, NUL, COM1, ...), a control character, or ends in a separator.
bool IsSafeManifestPath(const std::wstring& path);

}  // namespace quenlor
