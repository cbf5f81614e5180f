#include "update/Updater.h"

#include "app/Form1.h"

Updater::Updater(Form1& form) : f_(form) {}

void Updater::VersionCheck() {}
void Updater::CmdUpdate_Click() {}
