#include "module.h"

HINSTANCE g_hModuleInstance = nullptr;
volatile LONG g_lLiveObjects = 0;
