#pragma once

#include <string>

// The window (or console loop) that receives a controller's events and owns its chip combo box.
class IProgrammerOwner {
public:
    // Queues the event for the owner's thread; callable from any thread, never handled inline.
    virtual void PostProgrammerEvent(int code) = 0;

    // Inserts a chip name (UTF-8) at an explicit position of the chip list. Owner's thread only.
    virtual void InsertChipItem(int index, const std::string& name) = 0;

    // Selects a chip item and returns once the selection is made; callable from any thread.
    // Once the owner has begun closing it returns at once without selecting.
    virtual void SelectChipItem(int index) = 0;

protected:
    ~IProgrammerOwner() = default;
};
