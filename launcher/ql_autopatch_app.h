// CQLAutoPatchApp: the launcher's application object; its whole life is the main dialog.
#pragma once

#include "app.h"

class CQLAutoPatchApp : public winfx::CWinApp {
public:
    CQLAutoPatchApp();
    BOOL InitInstance() override;
};

extern CQLAutoPatchApp theApp;
