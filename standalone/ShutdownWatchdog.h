#pragma once

#include <functional>

class StandaloneHost;

// Tears the host's audio and MIDI down on a worker thread and waits for it a limited time. A
// driver that hangs must not keep the program from closing: the host is then left alive, and
// the process is later ended without running exit handlers or static destructors, which could
// otherwise run under a worker still inside the audio library.
class ShutdownWatchdog
{
public:
    using EndProcessFunction = std::function<void(int exitCode)>;

    static constexpr int kTimeoutMs = 3000;

    explicit ShutdownWatchdog(EndProcessFunction endProcess = EndProcessNow, int timeoutMs = kTimeoutMs)
        : endProcess(std::move(endProcess)), timeoutMs(timeoutMs)
    {}

    // True when the teardown finished in time and succeeded: the host is then destroyed and
    // the pointer cleared. False leaves the host alive (failed or timed out). No host: true.
    bool Run(StandaloneHost*& host);
    // After Run answered false: ends the process with the code; otherwise nothing.
    void FinishProcess(int exitCode);
    bool Failed() const { return failed; }

    // Ends the process at once, with no exit handlers and no library detach code.
    static void EndProcessNow(int exitCode);

private:
    EndProcessFunction endProcess;
    int timeoutMs;
    bool failed = false;
};
