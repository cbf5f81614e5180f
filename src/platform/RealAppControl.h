#pragma once
#include "platform/AppControl.h"

class RealAppControl : public AppControl {
public:
    void EndNow() override;
};
