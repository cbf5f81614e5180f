#include "batch/BatchRun.h"

#include "app/Form1.h"

BatchRun::BatchRun(Form1& form) : f_(form) {}

void BatchRun::CmdDo_Click() {}
void BatchRun::CmdStop_Click() {}
