#include "module.h"

#include "asyncftp/AsyncFtp.h"
#include "session.h"

HINSTANCE g_hModuleInstance = nullptr;
volatile LONG g_lLiveObjects = 0;

bool ModuleInUse()
{
    return g_lLiveObjects != 0 || CSession::ThreadsRunning() != 0 || asyncftp::ThreadsRunning() != 0;
}
