#pragma once
#include "platform/AppControl.h"
#include "platform/Dialogs.h"
#include "platform/ProcessList.h"
#include "platform/Settings.h"
#include "platform/Shell.h"

// The operating-system services, handed to everything that needs them.
struct Services {
    Dialogs* dialogs = nullptr;
    Shell* shell = nullptr;
    ProcessList* processes = nullptr;
    Settings* settings = nullptr;
    AppControl* app = nullptr;
};
