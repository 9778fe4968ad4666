#include "support/child_process.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#endif

#include <string>
#include <vector>

#if !defined(_WIN32)
extern char** environ;
#endif

namespace voskel::test {

namespace {

std::string filter_of(const std::string& test_name) {
    return "--gtest_filter=" + test_name;
}

constexpr const char* also_disabled = "--gtest_also_run_disabled_tests";

}  // namespace

#if defined(_WIN32)

ChildProcess::ChildProcess(const std::string& test_name) {
    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) return;
    std::string command = "\"" + std::string(program) + "\" " + filter_of(test_name) + " " + also_disabled;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return;
    }
    CloseHandle(process.hThread);
    process_ = reinterpret_cast<long long>(process.hProcess);
    started_ = true;
}

int ChildProcess::wait() {
    if (!started_) return -1;
    if (!ended_) {
        const HANDLE process = reinterpret_cast<HANDLE>(process_);
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        status_ = static_cast<int>(code);
        ended_ = true;
    }
    return status_;
}

void end_abruptly() {
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) Sleep(INFINITE);
}

#else

ChildProcess::ChildProcess(const std::string& test_name) {
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) return;
    program[length] = '\0';
    std::string filter = filter_of(test_name);
    std::string disabled = also_disabled;
    std::vector<char*> arguments = {program, filter.data(), disabled.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, arguments.data(), environ) != 0) return;
    process_ = pid;
    started_ = true;
}

int ChildProcess::wait() {
    if (!started_) return -1;
    if (!ended_) {
        int status = 0;
        while (waitpid(static_cast<pid_t>(process_), &status, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ended_ = true;
    }
    return status_;
}

void end_abruptly() {
    raise(SIGKILL);
    for (;;) pause();
}

#endif

ChildProcess::~ChildProcess() { wait(); }

}  // namespace voskel::test
