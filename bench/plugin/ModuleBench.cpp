// Real-time factor of the plug-in module against the bare engine: 60 s of stereo audio at
// 48 kHz through EffectEngine directly, and through the built module as the test host drives it
// (VST 3 process, sub-block slicing, the framework's buffer handling, the conversions of the
// plug-in class). The difference is the binding's overhead. Times are the processing thread's
// CPU time, so that other programs taking the machine's cores in turn do not count.

#include "engine/EffectEngine.h"
#include "tests/plugin/HostRig.h"
#include "tests/plugin/LoadedModule.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <pmmintrin.h>
#include <xmmintrin.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double kRate = 48000.0;
constexpr double kSeconds = 60.0;
constexpr int kRuns = 5;

// User and kernel time of the calling thread in seconds.
double ThreadSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
}

// Best of a few runs, as seconds of audio per second of thread CPU time.
double RealTimeFactor(const std::function<void()>& prepare, const std::function<void(int)>& runBlock, int block)
{
    const int blocks = static_cast<int>(kSeconds * kRate) / block;
    double best = 0.0;
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        const double start = ThreadSeconds();
        for (int b = 0; b < blocks; ++b)
            runBlock(b);
        const double took = ThreadSeconds() - start;
        best = std::max(best, blocks * block / kRate / took);
    }
    return best;
}

double BareEngine(int block)
{
    auto engine = std::make_unique<EffectEngine>();
    const std::vector<double> source = TestSignal(static_cast<size_t>(kSeconds * kRate) + block, 1);
    std::vector<float> in(source.begin(), source.end()), outL(block), outR(block);
    double position = 0.0;
    return RealTimeFactor([&] { engine->Prepare(kRate, block); },
                          [&](int b) {
                              engine->SetTempo(120.0);
                              engine->SetHostPosition(position);
                              const float* x = in.data() + static_cast<size_t>(b) * block;
                              engine->Process(x, x, outL.data(), outR.data(), block);
                              position += block * 120.0 / (kRate * 60.0);
                          },
                          block);
}

double Module(LoadedModule& module, int block, bool is64, bool automate)
{
    std::unique_ptr<HostRig> rig;
    const std::vector<AutomationPoint> mixPoints[2] = {{{kMix, block / 2, 0.6}}, {{kMix, block / 2, 0.4}}};
    return RealTimeFactor(
        [&] {
            PClassInfo info;
            module.factory->getClassInfo(0, &info);
            void* obj = nullptr;
            module.factory->createInstance(info.cid, IComponent::iid, &obj);
            rig = std::make_unique<HostRig>(static_cast<IComponent*>(obj));
            rig->Initialize();
            rig->Start(kRate, block, is64);
            rig->inL = TestSignal(static_cast<size_t>(kSeconds * kRate) + block, 1);
            rig->inR = rig->inL;
        },
        [&](int b) {
            if (automate)
                rig->Process(block, mixPoints[b % 2]);
            else
                rig->Process(block);
            rig->outL.clear();
            rig->outR.clear();
        },
        block);
}

} // namespace

int main()
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    LoadedModule module(MARLQUIN_MODULE_PATH);
    if (!module.factory) {
        std::fprintf(stderr, "cannot load %s\n", MARLQUIN_MODULE_PATH);
        return 1;
    }
    std::printf("%-44s %6s %10s\n", "path (60 s at 48 kHz, defaults)", "block", "x realtime");
    for (int block : {64, 512}) {
        std::printf("%-44s %6d %10.1f\n", "bare engine", block, BareEngine(block));
        std::printf("%-44s %6d %10.1f\n", "module, 64-bit", block, Module(module, block, true, false));
        std::printf("%-44s %6d %10.1f\n", "module, 32-bit", block, Module(module, block, false, false));
        std::printf("%-44s %6d %10.1f\n", "module, 64-bit, MIX automated mid-block", block,
                    Module(module, block, true, true));
    }
    return 0;
}
