#include "option_files.h"

#include <stdio.h>

namespace {

struct FileCloser {
    FILE* file;
    ~FileCloser()
    {
        if (file) fclose(file);
    }
};

}  // namespace

// The files are written in binary with explicit CR LF, so they hold the same bytes whichever
// C library writes them.
bool WritePrintScreenList(const char* path, const std::vector<QLResolution>& list)
{
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    FileCloser closer{file};
    bool ok = true;
    for (size_t i = 0; i < list.size(); ++i) {
        ok = fprintf(file, "%d\t%d\t%d\r\n", static_cast<int>(i + 1), static_cast<int>(list[i].width),
                     static_cast<int>(list[i].height)) > 0 && ok;
        // Flushed line by line so the game client never sees a half-written line.
        fflush(file);
    }
    return ok;
}

std::string FormatLaunchOptions(int window_mode, int resolution_number)
{
    char text[32];
    snprintf(text, sizeof(text), "%d\r\n%d", window_mode, resolution_number);
    return text;
}

bool WriteLaunchOptions(const char* path, int window_mode, int resolution_number)
{
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    const std::string text = FormatLaunchOptions(window_mode, resolution_number);
    bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
    return (fclose(file) == 0) && ok;
}

int ReadSavedResolutionNumber(const char* path)
{
    FILE* file = fopen(path, "r");
    if (!file) return 0;
    FileCloser closer{file};
    // Both numbers land in one variable: the first is the window mode, which is not restored.
    int value = 0;
    if (fscanf(file, "%d", &value) == 1) fscanf(file, "%d", &value);
    return value;
}
