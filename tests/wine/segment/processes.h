// Real processes for the protocol tests: the reference programs and this test
// program's own helper modes, each ended by the test that started it.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

// The folder of this executable, where the reference programs are built too.
std::string BinDir();
std::string ThisExe();

// A started process; ended with TerminateProcess if it still runs when the
// object goes, so that a failing test leaves nothing behind.
class Child {
public:
    explicit Child(const PROCESS_INFORMATION& info) : info_(info) {}
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    DWORD Pid() const { return info_.dwProcessId; }
    bool Running() const;
    // Waits for the process to end; false on timeout.
    bool WaitExit(DWORD timeoutMs, DWORD& exitCode);

private:
    PROCESS_INFORMATION info_;
};

// Starts "exe args" with this console; null (and a test failure) when it cannot.
std::unique_ptr<Child> StartChild(const std::string& exe, const std::string& args);

// Runs "exe args" to its end with stdout and stderr captured; the exit code,
// or -1 when it did not end within the time.
int RunCaptured(const std::string& exe, const std::string& args, std::string& output, DWORD timeoutMs = 15000);

// Polls every 100 ms until `done` holds; false when the time runs out.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Runs `work` on a thread and ends this whole program if it has not returned
// within the time: the way to test a wait that must not hang.
void WithinOrAbort(const char* what, DWORD timeoutMs, const std::function<void()>& work);
