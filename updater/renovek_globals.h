// The updater's shared state: its two jobs and the flags its download threads raise. The threads
// and the window's timers read them without locks; each flag only ever goes from 0 to 1.
// Only the launcher download decides how the update ends: written, the launcher is started;
// failed, the updater closes without starting anything. The picture is decoration: whether it is
// written, missing or fails, a running launcher download is always finished first.
#pragma once

#include <windows.h>

#include "update_job.h"

extern char g_szCurDir[MAX_PATH];
extern renovek::UpdateJob g_jobLauncher;
extern std::string g_strBaseUrl;
extern renovek::UpdateJob g_jobBackground;
extern volatile LONG g_bDone;     // a download was written completely
extern volatile LONG g_bFailed;   // a download ended with an error
extern volatile LONG g_bLauncherWritten; // the launcher download was written completely
extern volatile LONG g_bStopping; // the window has ended: running downloads give up at their next read
extern volatile LONG g_nRunning;  // download threads not yet ended
