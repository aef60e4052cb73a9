// The frozen-loop hand-over under load: an audio thread runs blocks while other
// threads capture, restore, discard and re-prepare, the way the plug-in drives
// the engine. Built with ThreadSanitizer, so any unsynchronised access between
// the audio thread and the others fails the run.
#include <gtest/gtest.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/state/FrozenLoopBlob.h"
#include "tests/WaitUntil.h"
#include "tests/engine/EffectEngineProbe.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs at least this long, and on a slow machine longer, until every kind of
// event has happened a few times (only a hang reaches the limit).
constexpr auto kRunTime = std::chrono::milliseconds(5000);
constexpr auto kRunLimit = test_wait::kHangLimit;
constexpr long kEnoughEvents = 3;
constexpr int kMaxBlock = 128;
constexpr double kRates[] = {8000.0, 11025.0};

uint32_t Next(uint32_t& x)
{
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

// What the plug-in provides around the engine: a busy word that keeps Prepare
// and Process apart without the audio thread ever waiting, and a state lock for
// the other threads (shared by capture and restore, exclusive for Prepare).
struct Host
{
    std::unique_ptr<EffectEngine> engine = std::make_unique<EffectEngine>();
    std::atomic<int> busy{0};
    std::shared_mutex stateLock;
    std::atomic<double> rate{kRates[0]};
    std::atomic<bool> stop{false};

    std::mutex blobLock;
    std::vector<uint8_t> lastBlob;

    std::atomic<long> blocks{0};
    std::atomic<long> skippedBlocks{0};
    std::atomic<long> captures{0};
    std::atomic<long> unreadableCaptures{0};
    std::atomic<long> restores{0};
    std::atomic<long> installs{0};
    std::atomic<long> prepares{0};
    std::atomic<long> nonFiniteBlocks{0};
};

void AudioThread(Host& host)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    std::vector<float> inL(kMaxBlock), inR(kMaxBlock), outL(kMaxBlock), outR(kMaxBlock);
    uint32_t rng = 0x1234567u;
    int64_t t = 0;
    while (!host.stop.load()) {
        int expected = 0;
        if (!host.busy.compare_exchange_strong(expected, 1)) {
            host.skippedBlocks.fetch_add(1);
            std::this_thread::yield();
            continue;
        }
        EffectEngine& engine = *host.engine;
        const uint32_t r = Next(rng);
        // Loop Freeze mostly on, now and then off; LOOPS mostly heard.
        engine.SetParam(kLoopFreeze, (r & 15) == 0 ? 0.0 : 1.0);
        engine.SetParam(kMode, (r & 0x70) == 0 ? 0.0 : 2.0);
        const int n = 1 + static_cast<int>((r >> 8) % kMaxBlock);
        for (int i = 0; i < n; ++i, ++t) {
            inL[i] = static_cast<float>(0.5 * std::sin(0.01 * static_cast<double>(t)));
            inR[i] = static_cast<float>(0.5 * std::sin(0.013 * static_cast<double>(t)));
        }
        // Only an install fills the retired slot; the other threads only empty it.
        const LoopsMode* retiredBefore = EffectEngineProbe(engine).Handover().RetiredLoop();
        engine.Process(inL.data(), inR.data(), outL.data(), outR.data(), n);
        const LoopsMode* retiredAfter = EffectEngineProbe(engine).Handover().RetiredLoop();
        if (retiredAfter != nullptr && retiredAfter != retiredBefore)
            host.installs.fetch_add(1);
        for (int i = 0; i < n; ++i)
            if (!std::isfinite(outL[i]) || !std::isfinite(outR[i])) {
                host.nonFiniteBlocks.fetch_add(1);
                break;
            }
        host.blocks.fetch_add(1);
        host.busy.store(0);
    }
}

void CaptureThread(Host& host)
{
    while (!host.stop.load()) {
        std::vector<uint8_t> blob;
        {
            std::shared_lock<std::shared_mutex> lock(host.stateLock);
            blob = host.engine->CaptureFrozenLoop();
        }
        if (blob.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        host.captures.fetch_add(1);
        // Whatever the engine writes, it must be able to read back.
        if (!DecodeFrozenLoop(blob.data(), blob.size()))
            host.unreadableCaptures.fetch_add(1);
        std::lock_guard<std::mutex> lock(host.blobLock);
        host.lastBlob.swap(blob);
    }
}

void RestoreThread(Host& host)
{
    uint32_t rng = 0xBEEF1234u;
    while (!host.stop.load()) {
        std::vector<uint8_t> blob;
        {
            std::lock_guard<std::mutex> lock(host.blobLock);
            blob = host.lastBlob;
        }
        const uint32_t r = Next(rng);
        {
            std::shared_lock<std::shared_mutex> lock(host.stateLock);
            EffectEngine& engine = *host.engine;
            if ((r & 7) == 0)
                engine.DiscardPendingLoop();
            else if ((r & 7) == 1)
                engine.RestoreFrozenLoop(nullptr, 0, host.rate.load());
            else if (!blob.empty() && engine.RestoreFrozenLoop(blob.data(), blob.size(), host.rate.load()))
                host.restores.fetch_add(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2 + r % 5));
    }
}

void PrepareThread(Host& host)
{
    int which = 0;
    while (!host.stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        std::unique_lock<std::shared_mutex> lock(host.stateLock);
        int expected = 0;
        while (!host.busy.compare_exchange_strong(expected, 2)) {
            expected = 0;
            std::this_thread::yield();
        }
        which ^= 1;
        host.rate.store(kRates[which]);
        host.engine->Prepare(kRates[which], kMaxBlock);
        host.prepares.fetch_add(1);
        host.busy.store(0);
    }
}

} // namespace

TEST(HandoverStressTest, CapturesRestoresAndPreparationsRaceTheAudioThread)
{
    Host host;
    host.engine->SetParam(kMacro, 0.15);
    host.engine->SetParam(kChaos, 0.9);
    host.engine->SetParam(kShape, 0.7);
    host.engine->SetParam(kLoopOctaves, 1.0);
    host.engine->SetParam(kLoopReverse, 0.5);
    host.engine->SetParam(kMix, 1.0);
    host.engine->Prepare(kRates[0], kMaxBlock);

    std::vector<std::thread> threads;
    threads.emplace_back(AudioThread, std::ref(host));
    threads.emplace_back(CaptureThread, std::ref(host));
    threads.emplace_back(CaptureThread, std::ref(host));
    threads.emplace_back(RestoreThread, std::ref(host));
    threads.emplace_back(PrepareThread, std::ref(host));
    const auto start = Clock::now();
    const auto enough = [&] {
        return host.captures.load() >= kEnoughEvents && host.restores.load() >= kEnoughEvents
               && host.installs.load() >= kEnoughEvents && host.prepares.load() >= kEnoughEvents;
    };
    while (Clock::now() - start < kRunLimit && (Clock::now() - start < kRunTime || !enough()))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    host.stop.store(true);
    for (std::thread& t : threads)
        t.join();

    EXPECT_GT(host.blocks.load(), 100);
    EXPECT_GT(host.captures.load(), 0);
    EXPECT_GT(host.restores.load(), 0);
    EXPECT_GT(host.installs.load(), 0);
    EXPECT_GT(host.prepares.load(), 0);
    EXPECT_EQ(host.unreadableCaptures.load(), 0);
    EXPECT_EQ(host.nonFiniteBlocks.load(), 0);
    std::printf("blocks %ld (skipped %ld), captures %ld, restores %ld, installs %ld, prepares %ld\n",
                host.blocks.load(), host.skippedBlocks.load(), host.captures.load(), host.restores.load(),
                host.installs.load(), host.prepares.load());
}
