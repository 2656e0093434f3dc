#include "framework/Application.h"

CApplication::CApplication() {
    s_current = this;
}

CApplication::~CApplication() {
    if (s_current == this) s_current = nullptr;
}

int CApplication::Run() {
    if (InitInstance()) {
        m_exitCode = RunMessageLoop();
    }
    return ExitInstance();
}

int CApplication::ExitInstance() {
    return m_exitCode;
}
