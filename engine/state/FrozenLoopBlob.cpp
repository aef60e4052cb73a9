#include "engine/state/FrozenLoopBlob.h"

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

constexpr const char* kTruncated = "truncated state";
constexpr const char* kNonFinite = "nonfinite state";
constexpr const char* kBadLength = "invalid vector length";
constexpr const char* kBadBool = "invalid bool";

constexpr int kPreparedBlockSize = 512;
constexpr double kMaxClock = 281474976710656.0; // 2^48
constexpr double kMaxSampleMagnitude = 64.0;
constexpr double kMaxSpeed = 16.0;
constexpr double kMaxSmootherTime = 60.0;
constexpr double kMinLevelScale = 0.5;

// A coder failure; it never leaves this file.
class BlobError : public std::runtime_error
{
public:
    explicit BlobError(const char* what) : std::runtime_error(what) {}
};

// The arrays are stored as the host keeps them when it is little-endian, which
// lets whole channels move with one copy.
bool HostIsLittleEndian()
{
    const uint32_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

bool AllFinite(const float* x, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (!std::isfinite(x[i]))
            return false;
    return true;
}

uint32_t FloatBits(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

uint64_t DoubleBits(double x)
{
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

void StoreLittleEndian(uint32_t v, uint8_t* out)
{
    if (HostIsLittleEndian()) {
        std::memcpy(out, &v, 4);
        return;
    }
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t LoadLittleEndian(const uint8_t* in)
{
    uint32_t v = 0;
    if (HostIsLittleEndian()) {
        std::memcpy(&v, in, 4);
        return v;
    }
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(in[i]) << (8 * i);
    return v;
}

class BlobWriter
{
public:
    explicit BlobWriter(std::vector<uint8_t>& out) : bytes(out) {}

    void U32(uint32_t v) { Append(v, 4); }
    void I32(int32_t v) { Append(static_cast<uint32_t>(v), 4); }
    void U64(uint64_t v) { Append(v, 8); }
    void Bool(uint8_t v) { bytes.push_back(v != 0 ? 1 : 0); }

    void F64(double v)
    {
        if (!std::isfinite(v))
            throw BlobError(kNonFinite);
        Append(DoubleBits(v), 8);
    }

    // The array with its count in front.
    template <typename Allocator>
    void Floats(const std::vector<float, Allocator>& v)
    {
        U32(static_cast<uint32_t>(v.size()));
        if (!AllFinite(v.data(), v.size()))
            throw BlobError(kNonFinite);
        if (HostIsLittleEndian()) {
            const size_t at = bytes.size();
            bytes.resize(at + 4 * v.size());
            if (!v.empty())
                std::memcpy(bytes.data() + at, v.data(), 4 * v.size());
            return;
        }
        for (float x : v)
            Append(FloatBits(x), 4);
    }

    // One channel of a line of stereo frames, as an array with its count in front.
    void Channel(const DelayLine<2>& line, int channel)
    {
        const size_t count = line.Length();
        U32(static_cast<uint32_t>(count));
        const float* frames = line.Frames();
        for (size_t j = 0; j < count; ++j)
            if (!std::isfinite(frames[2 * j + channel]))
                throw BlobError(kNonFinite);
        const size_t at = bytes.size();
        bytes.resize(at + 4 * count);
        uint8_t* out = bytes.data() + at;
        for (size_t j = 0; j < count; ++j)
            StoreLittleEndian(FloatBits(frames[2 * j + channel]), out + 4 * j);
    }

private:
    void Append(uint64_t v, int count)
    {
        for (int i = 0; i < count; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

    std::vector<uint8_t>& bytes;
};

class BlobReader
{
public:
    BlobReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    void U32(uint32_t& v) { v = static_cast<uint32_t>(Take(4)); }
    void I32(int32_t& v) { v = static_cast<int32_t>(static_cast<uint32_t>(Take(4))); }
    void U64(uint64_t& v) { v = Take(8); }

    void Bool(uint8_t& v)
    {
        const uint64_t b = Take(1);
        if (b > 1)
            throw BlobError(kBadBool);
        v = static_cast<uint8_t>(b);
    }

    void F64(double& v)
    {
        const uint64_t bits = Take(8);
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v))
            throw BlobError(kNonFinite);
    }

    // Into an array already sized by preparation: the stored count must match it.
    template <typename Allocator>
    void Floats(std::vector<float, Allocator>& v)
    {
        uint32_t count = 0;
        U32(count);
        if (count != v.size() || count > Remaining() / 4)
            throw BlobError(kBadLength);
        if (HostIsLittleEndian()) {
            if (count > 0)
                std::memcpy(v.data(), data + position, 4 * size_t{count});
            position += 4 * size_t{count};
        } else {
            for (float& x : v) {
                const uint32_t bits = static_cast<uint32_t>(Take(4));
                std::memcpy(&x, &bits, sizeof x);
            }
        }
        if (!AllFinite(v.data(), v.size()))
            throw BlobError(kNonFinite);
    }

    // One channel of a line of stereo frames already sized by preparation: the
    // stored count must match its length.
    void Channel(DelayLine<2>& line, int channel)
    {
        uint32_t count = 0;
        U32(count);
        if (count != line.Length() || count > Remaining() / 4)
            throw BlobError(kBadLength);
        const uint8_t* in = data + position;
        for (size_t j = 0; j < count; ++j) {
            const uint32_t bits = LoadLittleEndian(in + 4 * j);
            float x;
            std::memcpy(&x, &bits, sizeof x);
            if (!std::isfinite(x))
                throw BlobError(kNonFinite);
            line.FrameAt(j)[channel] = x;
        }
        position += 4 * size_t{count};
    }

    bool AtEnd() const { return position == size; }

private:
    size_t Remaining() const { return size - position; }

    uint64_t Take(int count)
    {
        if (Remaining() < static_cast<size_t>(count))
            throw BlobError(kTruncated);
        uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v |= static_cast<uint64_t>(data[position + static_cast<size_t>(i)]) << (8 * i);
        position += static_cast<size_t>(count);
        return v;
    }

    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

// The layout after the header, written and read by the same walk so the two
// directions cannot drift apart. The record is const for writing.
template <class Coder, class Smoother>
void CodeSmoother(Coder& c, Smoother& s)
{
    c.F64(s.current);
    c.F64(s.target);
    c.F64(s.coefficient);
    c.F64(s.time);
}

template <class Coder, class Voice>
void CodeVoice(Coder& c, Voice& v)
{
    c.F64(v.rOctave);
    c.F64(v.rReverse);
    c.F64(v.rReach);
    c.F64(v.rGain);
    c.F64(v.rPan);
    c.U32(v.rng);
    c.I32(v.segmentLength);
    c.I32(v.segmentPosition);
    c.F64(v.readPosition);
    c.F64(v.windowStart);
    c.F64(v.windowSpan);
    c.I32(v.startDelay);
    c.U64(v.startStamp);
    c.Bool(v.reversed);
    c.Bool(v.ended);
    c.Bool(v.primed);
    c.Bool(v.pitchShifted);
    CodeSmoother(c, v.speedSmoother);
    CodeSmoother(c, v.gainSmoother);
    CodeSmoother(c, v.panSmoother);
    c.F64(v.speed);
    c.F64(v.gain);
    c.F64(v.pan);
    for (auto& x : v.lfoPhase)
        c.F64(x);
    for (auto& x : v.lfoRate)
        c.F64(x);
    for (auto& x : v.lfoValue)
        c.F64(x);
    c.F64(v.lengthFraction);
    c.F64(v.peakFraction);
    c.F64(v.peakAmount);
    c.F64(v.levelScale);
    c.F64(v.speedLimit);
    c.F64(v.lastOutL);
    c.F64(v.lastOutR);
    c.F64(v.heldOutL);
    c.F64(v.heldOutR);
    c.I32(v.fadeRemaining);
}

template <class Coder, class ShifterState>
void CodeShifterState(Coder& c, ShifterState& s)
{
    c.F64(s.sampleRate);
    c.F64(s.ratio);
    c.Floats(s.buffer);
    c.I32(s.length);
    c.I32(s.writeIndex);
    c.F64(s.clock);
    c.F64(s.grainLength);
    c.U32(s.rng);
    c.F64(s.minDelay);
    c.F64(s.minMargin);
    c.F64(s.readPosA);
    c.F64(s.readPosB);
    c.F64(s.phaseA);
    c.F64(s.phaseB);
}

void CodeShifter(BlobWriter& c, const GrainShifter& shifter)
{
    CodeShifterState(c, shifter.CurrentState());
}

// Decodes over the shifter's own state, so that what the blob does not carry
// stays as preparation left it.
void CodeShifter(BlobReader& c, GrainShifter& shifter)
{
    GrainShifter::State state = shifter.CurrentState();
    CodeShifterState(c, state);
    shifter.RestoreState(std::move(state));
}

template <class Coder, class Record>
void CodeState(Coder& c, Record& loop)
{
    c.Channel(loop.history, 0);
    c.Channel(loop.history, 1);

    c.I32(loop.writeIndex);
    c.F64(loop.clock);
    c.Bool(loop.recordingStopped);
    c.F64(loop.loopTime);
    c.F64(loop.amount);
    c.Bool(loop.freezeRequested);
    c.F64(loop.chaos);
    c.I32(loop.fadeLength);
    CodeSmoother(c, loop.amountSmoother);
    c.F64(loop.octavesTarget);
    c.F64(loop.reverseTarget);
    c.F64(loop.reachTarget);
    c.F64(loop.widthTarget);
    c.F64(loop.octaves);
    c.F64(loop.reverse);
    c.F64(loop.reach);
    c.F64(loop.width);
    CodeSmoother(c, loop.octavesSmoother);
    CodeSmoother(c, loop.reverseSmoother);
    CodeSmoother(c, loop.reachSmoother);
    CodeSmoother(c, loop.widthSmoother);
    for (auto& voice : loop.voices)
        CodeVoice(c, voice);
    c.U64(loop.sampleCounter);
    c.U32(loop.divisionsPerLoop);
    c.U32(loop.divisionCounter);
    c.Bool(loop.wasSynced);
    for (auto& countdown : loop.startCountdown)
        c.I32(countdown);
    c.I32(loop.lastDivisionSamples);
    c.Bool(loop.randomised);
    c.U32(loop.randomGeneration);
    c.U32(loop.voiceStartCounter);
    c.F64(loop.minVoiceAge);
    c.F64(loop.maxVoiceAge);
    CodeShifter(c, loop.shifters[0]);
    CodeShifter(c, loop.shifters[1]);
    c.I32(loop.shifterOwner);
    c.U32(loop.chaosReverseFlips);
    c.U32(loop.chaosOctaveDrops);
    c.U32(loop.shifterStarts);
    c.Bool(loop.resetVoicesPending);
}

bool Within(double x, double lo, double hi)
{
    return x >= lo && x <= hi;
}

bool ValidSmoother(const ParamSmoother& s, double bound)
{
    return std::fabs(s.current) <= bound && std::fabs(s.target) <= bound && Within(s.coefficient, 0.0, 1.0)
           && s.time > 0.0 && s.time <= kMaxSmootherTime;
}

bool ValidHistory(const DelayLine<2>& history, int32_t length)
{
    if (history.Length() != static_cast<size_t>(length))
        return false;
    const float* samples = history.Frames();
    for (size_t i = 0; i < 2 * history.Length(); ++i)
        if (!(std::fabs(samples[i]) <= kMaxSampleMagnitude))
            return false;
    return true;
}

bool ValidControls(const LoopsMode::State& loop)
{
    if (!ValidSmoother(loop.amountSmoother, 1.0))
        return false;
    for (const ParamSmoother* s :
         {&loop.octavesSmoother, &loop.reverseSmoother, &loop.reachSmoother, &loop.widthSmoother})
        if (!ValidSmoother(*s, 1.0))
            return false;
    // The engine rewrites these every block, but a segment start in between reads them.
    for (double x : {loop.amount, loop.chaos, loop.octavesTarget, loop.reverseTarget, loop.reachTarget,
                     loop.widthTarget, loop.octaves, loop.reverse, loop.reach, loop.width})
        if (!Within(x, 0.0, 1.0))
            return false;
    return true;
}

// The personality and LFOs feed segment starts directly: out of range they can
// push a speed to infinity.
bool ValidPersonality(const LoopVoice& v)
{
    if (!Within(v.rOctave, -1.0, 1.0) || !Within(v.rPan, -1.0, 1.0) || !Within(v.rReverse, 0.0, 1.0)
        || !Within(v.rReach, 0.0, 1.0) || !Within(v.rGain, 0.0, 1.0))
        return false;
    for (int k = 0; k < LoopVoice::kLfoCount; ++k)
        if (!(std::fabs(v.lfoPhase[k]) < 1.0) || !Within(v.lfoRate[k], 0.0, 1.0) || !Within(v.lfoValue[k], -1.0, 1.0))
            return false;
    return true;
}

bool ValidVoice(const LoopsMode& loop, const LoopVoice& v)
{
    const double clock = loop.GetState().clock;
    const double history = loop.HistoryLength();
    const double maxSegment = std::ceil(LoopsMode::kMaxSegmentSeconds * loop.SampleRate()) + 16.0;
    if (v.segmentLength < 1 || v.segmentLength > maxSegment)
        return false;
    if (v.segmentPosition < 0 || v.segmentPosition > v.segmentLength)
        return false;
    if (!Within(v.windowSpan, 0.0, history) || (!v.ended && v.windowSpan < 1.0))
        return false;
    if (!Within(v.readPosition, 0.0, clock) || !Within(v.windowStart, 0.0, clock))
        return false;
    if (v.windowStart < clock - history || v.readPosition < clock - history)
        return false;
    if (v.windowStart + v.windowSpan > clock + 1.0)
        return false;
    if (!(v.speedLimit > 0.0 && v.speedLimit <= kMaxSpeed))
        return false;
    if (!ValidSmoother(v.speedSmoother, kMaxSpeed) || !ValidSmoother(v.gainSmoother, kMaxSpeed)
        || !ValidSmoother(v.panSmoother, 1.0))
        return false;
    if (!(std::fabs(v.speed) <= kMaxSpeed) || !(std::fabs(v.gain) <= kMaxSpeed) || !(std::fabs(v.pan) <= 1.0))
        return false;
    // A segment start never sets anything outside half to full level.
    if (!Within(v.levelScale, kMinLevelScale, 1.0))
        return false;
    if (v.fadeRemaining < 0 || v.fadeRemaining > loop.GetState().fadeLength)
        return false;
    for (double x : {v.lastOutL, v.lastOutR, v.heldOutL, v.heldOutR})
        if (!(std::fabs(x) <= kMaxSampleMagnitude))
            return false;
    return ValidPersonality(v);
}

bool ValidShifter(const LoopsMode& loop, const GrainShifter& shifter)
{
    const GrainShifter::State& s = shifter.CurrentState();
    if (s.sampleRate != loop.SampleRate())
        return false;
    if (s.length < 1 || s.buffer.size() != static_cast<size_t>(s.length))
        return false;
    if (s.writeIndex < 0 || s.writeIndex >= s.length || !Within(s.clock, 0.0, kMaxClock))
        return false;
    if (!(s.ratio > 0.0 && s.ratio <= kMaxSpeed))
        return false;
    if (!(s.grainLength >= 1.0) || !(s.minDelay > 0.0 && s.minDelay < s.length))
        return false;
    if (!(s.phaseA >= 0.0 && s.phaseA < 1.0) || !(s.phaseB >= 0.0 && s.phaseB < 1.0))
        return false;
    for (float x : s.buffer)
        if (!(std::fabs(x) <= kMaxSampleMagnitude))
            return false;
    return true;
}

} // namespace

bool ValidateFrozenLoop(const LoopsMode& loop)
{
    const LoopsMode::State& state = loop.GetState();
    const int32_t historyLength = loop.HistoryLength();
    const double sampleRate = loop.SampleRate();
    if (!FrozenLoopBlob::IsSupportedRate(sampleRate))
        return false;
    if (!state.recordingStopped || !state.freezeRequested)
        return false;
    if (historyLength < 1 || state.writeIndex < 0 || state.writeIndex >= historyLength)
        return false;
    if (!Within(state.clock, 0.0, kMaxClock))
        return false;
    if (state.fadeLength < 1 || state.fadeLength > sampleRate)
        return false;
    if (!Within(state.loopTime, 0.01, LoopsMode::kMaxSegmentSeconds))
        return false;
    if (state.shifterOwner < -1 || state.shifterOwner >= LoopsMode::kVoiceCount)
        return false;
    if (state.divisionsPerLoop < 1)
        return false;
    for (int32_t countdown : state.startCountdown)
        if (countdown < -1)
            return false;
    if (!ValidControls(state))
        return false;
    for (const LoopVoice& voice : state.voices)
        if (!ValidVoice(loop, voice))
            return false;
    if (!ValidHistory(state.history, historyLength))
        return false;
    return ValidShifter(loop, state.shifters[0]) && ValidShifter(loop, state.shifters[1]);
}

std::vector<uint8_t> EncodeFrozenLoop(const LoopsMode& loop)
{
    std::vector<uint8_t> bytes;
    // Validation also refuses a loop that still records.
    if (!ValidateFrozenLoop(loop))
        return bytes;
    try {
        const LoopsMode::State& state = loop.GetState();
        bytes.reserve(static_cast<size_t>(
            FrozenLoopBlob::SizeFor(static_cast<uint64_t>(loop.HistoryLength()),
                                    static_cast<uint64_t>(state.shifters[0].CurrentState().length))));
        BlobWriter writer(bytes);
        writer.U32(FrozenLoopBlob::kMagic);
        writer.U32(FrozenLoopBlob::kVersion);
        writer.F64(loop.SampleRate());
        CodeState(writer, state);
    } catch (const BlobError&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
    // Never hand out what the reader would refuse.
    if (bytes.size() > FrozenLoopBlob::MaxSize())
        return {};
    return bytes;
}

std::unique_ptr<LoopsMode> DecodeFrozenLoop(const uint8_t* data, size_t size, std::string* error)
{
    if (error)
        error->clear();
    if (size > FrozenLoopBlob::MaxSize() || (data == nullptr && size > 0))
        return nullptr;
    try {
        BlobReader reader(data, size);
        uint32_t magic = 0;
        uint32_t version = 0;
        double sampleRate = 0.0;
        reader.U32(magic);
        reader.U32(version);
        reader.F64(sampleRate);
        if (magic != FrozenLoopBlob::kMagic || version != FrozenLoopBlob::kVersion
            || !FrozenLoopBlob::IsSupportedRate(sampleRate))
            return nullptr;

        auto loop = std::make_unique<LoopsMode>();
        loop->Prepare(sampleRate, kPreparedBlockSize);
        // The prepared record gives the arrays their sizes; the blob fills it.
        LoopsMode::State state = loop->TakeState();
        CodeState(reader, state);
        if (!reader.AtEnd() || loop->SampleRate() != sampleRate || !loop->RestoreState(std::move(state))
            || !loop->IsReady() || !ValidateFrozenLoop(*loop))
            return nullptr;
        return loop;
    } catch (const BlobError& e) {
        if (error)
            *error = e.what();
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
