#include "options/OptionValidators.h"

#include "app/Form1.h"

OptionValidators::OptionValidators(Form1& form) : f_(form) {}

void OptionValidators::CmbSize_Change() {}
void OptionValidators::CmbSize_Click() {}
void OptionValidators::CmbSize_Validate() {}
void OptionValidators::CmbVBit_Validate() {}
void OptionValidators::TPos_Validate() {}
void OptionValidators::TSizeCut_Validate() {}
void OptionValidators::TTimeCut_Validate() {}
