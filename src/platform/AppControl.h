#pragma once

// Ending the program at once, without the shutdown question or clean-up.
class AppControl {
public:
    virtual ~AppControl() = default;
    virtual void EndNow() = 0;
};
