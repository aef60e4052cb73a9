#include "engine/state/FrozenLoopHandover.h"

#include <new>
#include <thread>
#include <utility>

#include "engine/state/FrozenLoopBlob.h"

namespace {

constexpr int kRestoredBlockSize = 512;
// A valid snapshot is refreshed at most this often (samples).
constexpr uint32_t kPublishIntervalSamples = 128;

} // namespace

FrozenLoopHandover::~FrozenLoopHandover()
{
    DropHandedOverLoops();
}

void FrozenLoopHandover::DropHandedOverLoops()
{
    delete pendingLoop.exchange(nullptr);
    delete retiredLoop.exchange(nullptr);
}

void FrozenLoopHandover::RenewShadow(double sampleRate, int maxBlockSize)
{
    samplesSincePublish = 0;
    // The snapshot is filled only when published, so its histories are not kept.
    // Without memory for it nothing is published, which the reader sees as "no loop".
    shadowLoop.reset(new (std::nothrow) LoopsMode());
    if (shadowLoop) {
        shadowLoop->Prepare(sampleRate, maxBlockSize);
        // A shadow without its rings would have them allocated by a publish on the
        // audio thread.
        if (shadowLoop->IsReady()) {
            shadowLoop->ReleaseHistory();
        } else {
            shadowLoop.reset();
        }
    }
    state.exchange(kEmpty);
}

// ---------------------------------------------------------------------------
// Audio thread

FrozenLoopHandover::BlockStart FrozenLoopHandover::BeginBlock(LoopsMode& live, bool freezeHeld)
{
    BlockStart start;
    InstallPendingLoop(live, start);
    if (!live.GetState().recordingStopped || !freezeHeld) {
        int32_t expected = kValid;
        if (!state.compare_exchange_strong(expected, kEmpty))
            start.readerHolding = expected == kReaderCopying;
    }
    Announce(Point::AudioBlockStarted);
    return start;
}

void FrozenLoopHandover::InstallPendingLoop(LoopsMode& live, BlockStart& start)
{
    if (!pendingLoop.load() || retiredLoop.load())
        return;
    int32_t expected = kValid;
    state.compare_exchange_strong(expected, kEmpty);
    expected = kEmpty;
    if (!state.compare_exchange_strong(expected, kAudioWriting))
        return;
    if (LoopsMode* incoming = pendingLoop.exchange(nullptr)) {
        // A loop at another rate would make the next publish resize the shadow's
        // rings here; it is retired untouched and freed by the other side.
        if (incoming->SampleRate() == live.SampleRate() && incoming->IsReady()) {
            LoopsMode::SwapState(live, *incoming);
            start.loopInstalled = true;
        }
        retiredLoop.store(incoming, std::memory_order_release);
    }
    state.store(kEmpty, std::memory_order_release);
}

void FrozenLoopHandover::Publish(const LoopsMode& live, int samples)
{
    samplesSincePublish += static_cast<uint32_t>(samples);
    int32_t found = state.load();
    if (samplesSincePublish < kPublishIntervalSamples && found != kEmpty)
        return;
    if (live.GetState().recordingStopped && found < kReaderCopying && shadowLoop
        && state.compare_exchange_strong(found, kAudioWriting)) {
        shadowLoop->CopyStateFrom(live);
        state.store(kValid, std::memory_order_release);
    }
    samplesSincePublish = 0;
}

// ---------------------------------------------------------------------------
// Other threads

std::vector<uint8_t> FrozenLoopHandover::Capture(const LoopsMode& live)
{
    for (;;) {
        int32_t found = kValid;
        if (state.compare_exchange_strong(found, kReaderCopying))
            break;
        if (found != kAudioWriting)
            return {};
        // The audio thread holds the shadow only for the length of one copy.
        std::this_thread::yield();
    }
    Announce(Point::ReaderCopying);

    std::unique_ptr<LoopsMode> copy = CopyFrozenLoop(live);
    // Once the copy exists the live history may change again; the encoding works
    // on the copy alone, and the state is not touched again: by now the audio
    // thread may have dropped the snapshot.
    state.store(kValid, std::memory_order_release);
    Announce(Point::ReaderReleased);
    if (!copy)
        return {};
    return EncodeFrozenLoop(*copy);
}

std::unique_ptr<LoopsMode> FrozenLoopHandover::CopyFrozenLoop(const LoopsMode& live) const noexcept
{
    if (!shadowLoop)
        return nullptr;
    try {
        auto copy = std::make_unique<LoopsMode>(*shadowLoop);
        copy->CopyHistoryFrom(live);
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool FrozenLoopHandover::Restore(const uint8_t* data, size_t size, double sampleRate)
{
    const double loopRate = LoopsMode::SupportedRate(sampleRate);
    std::unique_ptr<LoopsMode> loop;
    if (size > 0) {
        loop = DecodeFrozenLoop(data, size);
        if (!loop)
            return false;
    } else {
        loop.reset(new (std::nothrow) LoopsMode());
        if (!loop)
            return false;
        loop->Prepare(loopRate, kRestoredBlockSize);
    }
    // A loop the audio thread could not take over as it stands is refused here,
    // where it can still be reported.
    if (!loop->Resample(loopRate) || !loop->IsReady())
        return false;

    // The pending slot before the retired one: should the audio thread install
    // the older loop in between, its leftovers are freed here and cannot hold the
    // newer loop back.
    delete pendingLoop.exchange(loop.release());
    Announce(Point::RestoreBetweenExchanges);
    delete retiredLoop.exchange(nullptr);
    return true;
}
