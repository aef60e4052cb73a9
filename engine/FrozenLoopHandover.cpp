// The other threads' side of the frozen-loop hand-over. The audio thread
// publishes the frozen loop's playback state into the shadow and takes restored
// loops from the pending slot (EffectEngine.cpp); here a reader copies the shadow
// plus the live history while the state machine holds recording stopped, and a
// restorer decodes and converts a loop before the audio thread can see it.
#include "engine/EffectEngine.h"

#include <cmath>
#include <new>
#include <thread>

#include "engine/FrozenLoopBlob.h"

namespace {

constexpr int kRestoredBlockSize = 512;

} // namespace

std::vector<uint8_t> EffectEngine::CaptureFrozenLoop()
{
    for (;;) {
        int32_t state = kHandoverValid;
        if (handoverState.compare_exchange_strong(state, kHandoverReaderCopying))
            break;
        if (state != kHandoverAudioWriting)
            return {};
        // The audio thread holds the shadow only for the length of one copy.
        std::this_thread::yield();
    }
    if (handoverProbe)
        handoverProbe(HandoverPoint::ReaderCopying);

    std::unique_ptr<LoopsMode> copy = CopyFrozenLoop();
    // Once the copy exists the live history may change again; the encoding works
    // on the copy alone, and the state is not touched again: by now the audio
    // thread may have dropped the snapshot.
    handoverState.store(kHandoverValid, std::memory_order_release);
    if (handoverProbe)
        handoverProbe(HandoverPoint::ReaderReleased);
    if (!copy)
        return {};
    return EncodeFrozenLoop(*copy);
}

std::unique_ptr<LoopsMode> EffectEngine::CopyFrozenLoop() const noexcept
{
    if (!shadowLoop)
        return nullptr;
    try {
        auto copy = std::make_unique<LoopsMode>(*shadowLoop);
        copy->CopyHistoryFrom(liveLoop);
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool EffectEngine::RestoreFrozenLoop(const uint8_t* data, size_t size, double rate)
{
    const double loopRate = LoopsMode::SupportedRate(rate);
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
    if (handoverProbe)
        handoverProbe(HandoverPoint::RestoreBetweenExchanges);
    delete retiredLoop.exchange(nullptr);
    return true;
}

void EffectEngine::DiscardPendingLoop()
{
    DeleteHandedOverLoops();
}
