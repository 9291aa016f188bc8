#pragma once

// The events a backend reports an operation's outcome with. Each is posted to the owner with its
// code only; the data it announces is read from the controller when the event is handled.
enum ProgrammerEvent : int {
    PE_SERIAL_INIT_FAILED = 0,
    PE_PARALLEL_INIT_FAILED = 1,
    PE_SERIAL_INIT_DONE = 2,
    PE_SERIAL_NOT_INITIALIZED = 3,
    PE_PARALLEL_INIT_DONE = 4,
    PE_READY = 5,
    PE_UNAVAILABLE = 6,
    PE_RECEIVE_ERROR = 7,
    PE_SIGNATURE_READ = 8,
    PE_ERASE_DONE = 9,
    PE_WRITE_STARTED = 10,
    PE_WRITE_PROGRESS = 11,
    PE_WRITE_DONE = 12,
    PE_WRITE_ERROR = 13,
    PE_READ_STARTED = 14,
    PE_READ_PROGRESS = 15,
    PE_READ_DONE = 16,
    PE_LOCK_DONE = 17,
    PE_INVALID_OPERATION = 18,
    PE_DEVICE_DETECTED = 19,
    PE_DEVICE_NOT_DETECTED = 20,
    // Parallel, code 2: the lock bits read back after writing are not the level asked for.
    PE_LOCK_ERROR = 21,
    // Parallel, code 2: a read was refused because the chip's lock bits forbid reading it out.
    PE_READ_LOCKED = 22,
    // Programming mode was not entered: the chip did not echo 0x69 to the programming enable
    // (no chip, no power, no crystal, wiring or RST). Nothing else is posted for the operation.
    PE_NO_CHIP_ANSWER = 23,
    // A notice, not an outcome: the chip's page-mode read disagreed with its byte reads, so the
    // backend reads byte by byte from now on; the read goes on.
    PE_PAGE_READ_OFF = 24,
};

// The window message number the events travel as (WM_USER + 20).
constexpr int WM_PROGRAMMER_EVENT = 1044;
