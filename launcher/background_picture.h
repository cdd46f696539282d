// The window picture, loaded so that no handle to its file outlives the loading: the updater
// replaces the file while the launcher runs, and on Windows an image made from a file name keeps
// that file open until the image is deleted.
#pragma once

namespace Gdiplus {
class Image;
}

// The picture at `path` as an image of its own pixels, or null when the file is missing,
// unreadable, too large or not a picture. The caller deletes it (before GDI+ shuts down).
Gdiplus::Image* LoadDetachedPicture(const wchar_t* path);
