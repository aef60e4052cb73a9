// Guards the sound of every factory preset: 4 s of a fixed test signal at 48 and
// 96 kHz, through two builds of the engine in one process.
//
// The reference engine (exact library maths) must give exactly the output recorded
// here, so a change that alters a single bit of its output is caught. The recorded
// hashes differ between the native and the Windows build because their maths
// libraries round exp, sin and pow differently. When a change is meant to alter
// the sound, the failure message prints the new table.
//
// The shipped engine uses faster approximations of those functions; its output must
// null against the reference's by at least kMinNullDepthDb on every channel.
#include <gtest/gtest.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/EffectEngine.h"
#include "engine/tables/FactoryPreset.h"
#include "tests/engine/reference/ReferenceEngine.h"

namespace {

constexpr double kRates[] = {48000.0, 96000.0};
constexpr int kRateCount = 2;
constexpr double kSeconds = 4.0;
constexpr int kBlock = 512;

// 20 log10(rms(reference) / rms(shipped - reference)), per channel. A reference quieter
// than kNullFloorRms counts as that loud, so a near-silent preset still has to null to
// within a tiny absolute difference instead of a ratio of two tiny numbers.
constexpr double kMinNullDepthDb = 100.0;
constexpr double kNullFloorRms = 1e-4;

// Output hashes, one row per factory preset, one column per rate of kRates.
#ifdef _WIN32
constexpr uint64_t kRecorded[kFactoryPresetCount][kRateCount] = {
#include "tests/engine/PresetOutputHashesWindows.inc"
};
#else
constexpr uint64_t kRecorded[kFactoryPresetCount][kRateCount] = {
#include "tests/engine/PresetOutputHashesNative.inc"
};
#endif

// Output hashes of the mode tour below, one per rate of kRates.
#ifdef _WIN32
constexpr uint64_t kRecordedTour[kRateCount] = {0x5640029a35640a62ull, 0xcf44666bb43558a5ull};
#else
constexpr uint64_t kRecordedTour[kRateCount] = {0x5640029a35640a62ull, 0x5bb2ccf5c06b0fd7ull};
#endif

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
};

uint32_t NextNoise(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

float NoiseSample(uint32_t& state)
{
    return static_cast<float>(NextNoise(state) / 2147483648.0 - 1.0);
}

// Tones, a gap of silence, noise bursts with sharp attacks, then a slow sweep over
// quiet noise: gate, drive, every mode's history and the transient detection all
// get something to work on. Left and right differ.
Stereo TestSignal(double rate)
{
    const int frames = static_cast<int>(kSeconds * rate);
    Stereo s{std::vector<float>(frames), std::vector<float>(frames)};
    uint32_t noise = 0x1234567u;
    double sweepPhase = 0.0;
    for (int i = 0; i < frames; ++i) {
        const double t = i / rate;
        double l = 0.0, r = 0.0;
        if (t < 1.0) {
            const double am = 0.6 + 0.3 * std::sin(2.0 * EngineMath::kPi * 3.0 * t);
            l = am
                * (0.5 * std::sin(2.0 * EngineMath::kPi * 110.0 * t)
                   + 0.3 * std::sin(2.0 * EngineMath::kPi * 331.0 * t));
            r = am
                * (0.5 * std::sin(2.0 * EngineMath::kPi * 222.0 * t)
                   + 0.3 * std::sin(2.0 * EngineMath::kPi * 440.0 * t));
        } else if (t >= 1.5 && t < 2.5) {
            const double sinceBurst = std::fmod(t - 1.5, 0.125);
            const double env = 0.8 * std::exp(-sinceBurst * 40.0);
            l = env * NoiseSample(noise);
            r = env * NoiseSample(noise);
        } else if (t >= 2.5) {
            sweepPhase += 2.0 * EngineMath::kPi * (200.0 + 1800.0 * (t - 2.5)) / rate;
            l = 0.4 * std::sin(sweepPhase) + 0.05 * NoiseSample(noise);
            r = 0.4 * std::cos(sweepPhase) + 0.05 * NoiseSample(noise);
        }
        s.left[i] = static_cast<float>(l);
        s.right[i] = static_cast<float>(r);
    }
    return s;
}

uint64_t HashOutput(const Stereo& out)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    auto add = [&hash](float sample) {
        uint32_t bits;
        std::memcpy(&bits, &sample, sizeof bits);
        for (int b = 0; b < 4; ++b) {
            hash ^= (bits >> (8 * b)) & 0xffu;
            hash *= 0x100000001b3ull;
        }
    };
    for (size_t i = 0; i < out.left.size(); ++i) {
        add(out.left[i]);
        add(out.right[i]);
    }
    return hash;
}

double NullDepthDb(const std::vector<float>& reference, const std::vector<float>& shipped)
{
    double referenceSquares = 0.0;
    double differenceSquares = 0.0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double r = reference[i];
        const double d = static_cast<double>(shipped[i]) - r;
        referenceSquares += r * r;
        differenceSquares += d * d;
    }
    if (differenceSquares == 0.0)
        return std::numeric_limits<double>::infinity();
    if (!std::isfinite(differenceSquares))
        return -std::numeric_limits<double>::infinity();
    const double count = static_cast<double>(reference.size());
    const double referenceRms = std::max(std::sqrt(referenceSquares / count), kNullFloorRms);
    return 20.0 * std::log10(referenceRms / std::sqrt(differenceSquares / count));
}

// Runs `in` through the engine in blocks; `beforeBlock` may change parameters
// at the start of each block.
template <class Engine, class BeforeBlock>
Stereo Render(Engine& engine, const Stereo& in, BeforeBlock&& beforeBlock)
{
    const int frames = static_cast<int>(in.left.size());
    Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
    for (int pos = 0; pos < frames; pos += kBlock) {
        beforeBlock(pos);
        const int n = std::min(kBlock, frames - pos);
        engine.Process(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos, out.right.data() + pos, n);
    }
    return out;
}

template <class Engine>
Stereo RenderPreset(int preset, double rate, const Stereo& in)
{
    auto engine = std::make_unique<Engine>();
    const FactoryPreset& row = FactoryPresetAt(preset);
    for (int p = 0; p < kParamCount; ++p)
        engine->SetParam(p, row.values[p]);
    engine->SetTempo(120.0);
    engine->Prepare(rate, kBlock);
    return Render(*engine, in, [](int) {});
}

// The modes in turn, a few times over, the repeat engine and the echoes
// alternating: what an idle mode was fed is heard when it takes over.
template <class Engine>
Stereo RenderModeTour(double rate, const Stereo& in)
{
    auto engine = std::make_unique<Engine>();
    for (const auto& [index, value] : {std::pair{kDrive, 0.3}, {kWear, 0.4}, {kChaos, 0.5}, {kMacro, 0.35}})
        engine->SetParam(index, value);
    engine->SetTempo(120.0);
    engine->Prepare(rate, kBlock);
    constexpr int kModes[] = {0, 1, 2, 1, 0, 2, 0, 1};
    const int step = static_cast<int>(rate / 4);
    return Render(*engine, in, [&](int pos) {
        const int turn = pos / step;
        engine->SetParam(kMode, kModes[turn % 8]);
        engine->SetParam(kRepeatEngine, (turn / 2) % 2 == 0 ? 1 : 0);
    });
}

// One render of both engines: the reference output's hash and how deep the
// shipped output nulls against it, per channel.
struct Outcome
{
    uint64_t referenceHash = 0;
    double nullDepthDb[2] = {};
};

// Job numbers: preset * kRateCount + rate index, then the mode tour at each rate.
constexpr int kTourJob = kFactoryPresetCount * kRateCount;
constexpr int kJobCount = kTourJob + kRateCount;

std::string JobName(int job)
{
    const int rate = static_cast<int>(kRates[job % kRateCount]);
    const std::string what = job < kTourJob ? FactoryPresetAt(job / kRateCount).name : std::string("mode tour");
    return what + " at " + std::to_string(rate) + " Hz";
}

template <class Engine>
Stereo RenderJob(int job, const Stereo& in)
{
    const double rate = kRates[job % kRateCount];
    return job < kTourJob ? RenderPreset<Engine>(job / kRateCount, rate, in) : RenderModeTour<Engine>(rate, in);
}

Outcome RunJob(int job, const Stereo& in)
{
    const Stereo reference = RenderJob<ReferenceEngine>(job, in);
    const Stereo shipped = RenderJob<EffectEngine>(job, in);
    Outcome outcome;
    outcome.referenceHash = HashOutput(reference);
    outcome.nullDepthDb[0] = NullDepthDb(reference.left, shipped.left);
    outcome.nullDepthDb[1] = NullDepthDb(reference.right, shipped.right);
    return outcome;
}

// Every job once per test program, spread over a few threads. Each thread flushes
// denormals as the plug-in's audio thread does.
const std::vector<Outcome>& Outcomes()
{
    static const std::vector<Outcome> outcomes = [] {
        const Stereo signals[kRateCount] = {TestSignal(kRates[0]), TestSignal(kRates[1])};
        std::vector<Outcome> results(kJobCount);
        std::atomic<int> next{0};
        auto worker = [&]() {
            _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
            _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
            for (int job = next++; job < kJobCount; job = next++)
                results[job] = RunJob(job, signals[job % kRateCount]);
        };
        const int threadCount = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t)
            threads.emplace_back(worker);
        for (std::thread& thread : threads)
            thread.join();
        return results;
    }();
    return outcomes;
}

std::string HashTable(const std::vector<Outcome>& outcomes)
{
    std::string table;
    char line[96];
    for (int p = 0; p < kFactoryPresetCount; ++p) {
        std::snprintf(line, sizeof line, "{0x%016" PRIx64 "ull, 0x%016" PRIx64 "ull},\n",
                      outcomes[p * kRateCount].referenceHash, outcomes[p * kRateCount + 1].referenceHash);
        table += line;
    }
    return table;
}

} // namespace

TEST(PresetOutput, EveryFactoryPresetSoundsAsRecorded)
{
    const std::vector<Outcome>& outcomes = Outcomes();
    bool same = true;
    for (int p = 0; p < kFactoryPresetCount; ++p) {
        for (int r = 0; r < kRateCount; ++r) {
            const uint64_t hash = outcomes[p * kRateCount + r].referenceHash;
            EXPECT_EQ(hash, kRecorded[p][r]) << JobName(p * kRateCount + r);
            same = same && hash == kRecorded[p][r];
        }
    }
    if (!same)
        ADD_FAILURE() << "output of this build:\n" << HashTable(outcomes);
}

TEST(PresetOutput, ModeChangesSoundAsRecorded)
{
    for (int r = 0; r < kRateCount; ++r) {
        const uint64_t hash = Outcomes()[kTourJob + r].referenceHash;
        EXPECT_EQ(hash, kRecordedTour[r]) << kRates[r] << " Hz, output of this build: 0x" << std::hex << hash << "ull";
    }
}

TEST(PresetOutput, ShippedEngineNullsAgainstReference)
{
    const std::vector<Outcome>& outcomes = Outcomes();
    double shallowest = std::numeric_limits<double>::infinity();
    for (int job = 0; job < kJobCount; ++job) {
        for (int ch = 0; ch < 2; ++ch) {
            const double depth = outcomes[job].nullDepthDb[ch];
            EXPECT_GE(depth, kMinNullDepthDb) << JobName(job) << (ch == 0 ? ", left" : ", right");
            shallowest = std::min(shallowest, depth);
        }
    }
    std::printf("shallowest null depth: %.1f dB\n", shallowest);
}
