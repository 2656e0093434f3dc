// Entry point: the process-wide objects are already built (ProcessObjects.cpp); run the application.
#include <windows.h>

#include "app/MainApp.h"
#include "app/ProcessObjects.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return theApp.Run();
}
