// marlquin_render: runs a sound file through EffectEngine with a named scenario,
// in blocks of 512 frames, and writes the result as 32-bit float. The comparison
// script times it against packaged effects doing comparable work.
//
//   marlquin_render SCENARIO INPUT OUTPUT
//
// Stereo input is processed as it is; mono input feeds both channels. The worst
// block time and its share of the block's budget go to standard error; blocks are
// timed in the thread's CPU time, so a loaded machine's preemptions do not count.
#include <sndfile.h>
#include <time.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "engine/EffectEngine.h"

namespace {

constexpr int kBlock = 512;

struct Scenario
{
    const char* name;
    std::vector<std::pair<int, double>> params;
};

const std::vector<Scenario>& Scenarios()
{
    static const std::vector<Scenario> scenarios = {
        {"defaults", {}},
        {"trem", {{kMode, 0}, {kDrive, 0}, {kWear, 0}, {kChaos, 0}}},
        {"heavy-trem",
         {{kMode, 0},
          {kShape, 1},
          {kChaos, 1},
          {kDrive, 1},
          {kDriveVoice, 1},
          {kWear, 1},
          {kDirtTrimWow, 1},
          {kDirtTrimBandwidth, 1},
          {kDirtTrimNoise, 1},
          {kDirtTrimCrush, 1}}},
        {"repeat", {{kMode, 1}}},
        {"heavy-repeat", {{kMode, 1}, {kRepeatCount, 64}, {kRepeatFeedback, 0.95}}},
        {"loops", {{kMode, 2}}},
        {"echo", {{kMode, 1}, {kRepeatEngine, 0}}},
    };
    return scenarios;
}

const Scenario* FindScenario(const char* name)
{
    for (const Scenario& s : Scenarios())
        if (std::strcmp(s.name, name) == 0)
            return &s;
    return nullptr;
}

int Usage()
{
    std::fprintf(stderr, "usage: marlquin_render SCENARIO INPUT OUTPUT\nscenarios:");
    for (const Scenario& s : Scenarios())
        std::fprintf(stderr, " %s", s.name);
    std::fprintf(stderr, "\n");
    return 2;
}

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

struct SoundFile
{
    SNDFILE* file = nullptr;
    ~SoundFile()
    {
        if (file)
            sf_close(file);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return Usage();
    const Scenario* scenario = FindScenario(argv[1]);
    if (!scenario)
        return Usage();

    SF_INFO inInfo{};
    SoundFile in{sf_open(argv[2], SFM_READ, &inInfo)};
    if (!in.file || inInfo.channels < 1 || inInfo.channels > 2) {
        std::fprintf(stderr, "cannot read %s as a mono or stereo sound file: %s\n", argv[2], sf_strerror(in.file));
        return 1;
    }
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = 2;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SoundFile out{sf_open(argv[3], SFM_WRITE, &outInfo)};
    if (!out.file) {
        std::fprintf(stderr, "cannot write %s: %s\n", argv[3], sf_strerror(nullptr));
        return 1;
    }

    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    auto engine = std::make_unique<EffectEngine>();
    for (const auto& [index, value] : scenario->params)
        engine->SetParam(index, value);
    engine->Prepare(inInfo.samplerate, kBlock);

    const int channels = inInfo.channels;
    std::vector<float> interleaved(static_cast<size_t>(kBlock) * 2);
    std::vector<float> left(kBlock), right(kBlock);
    double worstBlock = 0.0;
    long long block = 0, worstBlockIndex = 0;
    for (;;) {
        const int n = static_cast<int>(sf_readf_float(in.file, interleaved.data(), kBlock));
        if (n <= 0)
            break;
        for (int i = 0; i < n; ++i) {
            left[i] = interleaved[static_cast<size_t>(i) * channels];
            right[i] = interleaved[static_cast<size_t>(i) * channels + channels - 1];
        }
        const double start = ThreadCpuSeconds();
        engine->Process(left.data(), right.data(), left.data(), right.data(), n);
        const double took = ThreadCpuSeconds() - start;
        if (took > worstBlock) {
            worstBlock = took;
            worstBlockIndex = block;
        }
        ++block;
        for (int i = 0; i < n; ++i) {
            interleaved[static_cast<size_t>(i) * 2] = left[i];
            interleaved[static_cast<size_t>(i) * 2 + 1] = right[i];
        }
        if (sf_writef_float(out.file, interleaved.data(), n) != n) {
            std::fprintf(stderr, "cannot write %s: %s\n", argv[3], sf_strerror(out.file));
            return 1;
        }
    }
    const double budget = static_cast<double>(kBlock) / inInfo.samplerate;
    std::fprintf(stderr, "worst block %.1f us at block %lld of %lld (%.1f %% of its budget)\n", worstBlock * 1e6,
                 worstBlockIndex, block, 100.0 * worstBlock / budget);
    return 0;
}
