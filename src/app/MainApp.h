// The application object: start-up sequence, single-copy guard, exit.
#pragma once

#include "framework/Application.h"

class CMainApp : public CApplication {
public:
    bool InitInstance() override;
};
