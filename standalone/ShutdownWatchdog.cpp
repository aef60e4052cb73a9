#include "standalone/ShutdownWatchdog.h"

#include "standalone/StandaloneHost.h"

#include <windows.h>

#include <chrono>
#include <exception>
#include <future>
#include <thread>

bool ShutdownWatchdog::Run(StandaloneHost*& host)
{
    if (!host)
        return true;
    // The worker owns its promise: a timed-out worker that finishes later still has one.
    auto promise = std::make_shared<std::promise<bool>>();
    std::future<bool> finished = promise->get_future();
    StandaloneHost* target = host;
    std::thread worker([promise, target] {
        try {
            target->Teardown();
            promise->set_value(true);
        } catch (...) {
            promise->set_value(false);
        }
    });
    if (finished.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        worker.detach();
        failed = true;
        return false;
    }
    worker.join();
    if (!finished.get()) {
        failed = true;
        return false;
    }
    delete host;
    host = nullptr;
    return true;
}

void ShutdownWatchdog::FinishProcess(int exitCode)
{
    if (failed && endProcess)
        endProcess(exitCode);
}

void ShutdownWatchdog::EndProcessNow(int exitCode)
{
    TerminateProcess(GetCurrentProcess(), UINT(exitCode));
}
