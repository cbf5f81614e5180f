#include "filelist/Intake.h"

#include "app/Form1.h"

Intake::Intake(Form1& form) : f_(form) {}

void Intake::CmdAddMp4_Click() {}
void Intake::CmdCover_Click() {}
void Intake::CmdReadMp4_Click() {}
void Intake::CmdIndir_Click() {}
void Intake::CmdOutDir_Click() {}
void Intake::MSF_OLEDragDrop(const QStringList&) {}
