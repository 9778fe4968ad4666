// This very test program, started again as a process of its own to run one
// of its tests alone, for what only another process shows: what a process
// that ends abruptly leaves, and what two processes do side by side.
#pragma once

#include <string>

namespace voskel::test {

class ChildProcess {
public:
    // Runs the test named (Suite.Test; it may be a disabled one) in a new
    // process, which inherits this process's environment. started() is
    // false when the system cannot start it.
    explicit ChildProcess(const std::string& test_name);
    // Waits for the process to end if it has not yet.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return started_; }
    // Waits for the end and returns the exit status; -1 when it did not start.
    int wait();

private:
    bool started_ = false;
    bool ended_ = false;
    int status_ = -1;
    long long process_ = 0;  // pid, or the process HANDLE
};

// Ends this process at once, as a crash would: no destructor, no exit
// handler and no library detach runs.
[[noreturn]] void end_abruptly();

}  // namespace voskel::test
