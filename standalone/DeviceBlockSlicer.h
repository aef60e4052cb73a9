#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

// Cuts non-interleaved device buffers (channel c at c * n .. c * n + n - 1) into blocks of 64
// frames for the plug-in. When every buffer is a whole number of blocks, each block is
// processed in place inside the device buffer, without delay. Any other buffer length switches
// the stream to carry-over for good: frames collect in a 64-frame input block, and the output
// plays the previously processed block, 64 frames late. Neither path reads or writes beyond the
// device buffer, allocates or locks.
class DeviceBlockSlicer
{
public:
    static constexpr int kBlockFrames = 64;

    // Allocates: call with the stream closed. Plug-in output slots beyond the device's channels
    // write into a spare block. Input slots beyond them read silence, except that a one-channel
    // device (a microphone) feeds every input slot: the effect takes a mono input.
    void Configure(int deviceInputs, int deviceOutputs, int pluginInputs, int pluginOutputs);

    // block(inputs, outputs) runs once per complete 64-frame block, with one pointer per
    // plug-in slot. input may be null when the device has no input channel.
    template <class Block>
    void Run(const double* input, double* output, int n, Block&& block)
    {
        if (n <= 0 || !output)
            return;
        if (!carrying && n % kBlockFrames == 0) {
            for (int start = 0; start < n; start += kBlockFrames) {
                AimAtDevice(input, output, n, start);
                block(inputPointers.data(), outputPointers.data());
            }
            return;
        }
        carrying = true;
        AimAtCarry();
        for (int done = 0; done < n;) {
            const int chunk = std::min(kBlockFrames - fill, n - done);
            for (int c = 0; c < deviceInputs; ++c)
                std::memcpy(&carryIn[size_t(c) * kBlockFrames + fill], input ? &input[size_t(c) * n + done] : zeros,
                            sizeof(double) * chunk);
            for (int c = 0; c < deviceOutputs; ++c)
                std::memcpy(&output[size_t(c) * n + done], &carryOut[size_t(c) * kBlockFrames + fill],
                            sizeof(double) * chunk);
            fill += chunk;
            done += chunk;
            if (fill == kBlockFrames) {
                fill = 0;
                block(inputPointers.data(), outputPointers.data());
            }
        }
    }

    // Frames collected towards the next block in carry-over, 0 otherwise.
    int Fill() const { return fill; }
    bool Carrying() const { return carrying; }

private:
    void AimAtDevice(const double* input, double* output, int n, int start);
    void AimAtCarry();
    void ShareMonoInput();

    int deviceInputs = 0;
    int deviceOutputs = 0;
    int fill = 0;
    bool carrying = false;
    std::vector<double*> inputPointers;
    std::vector<double*> outputPointers;
    std::vector<double> silentInput;
    std::vector<double> spareOutput;
    std::vector<double> carryIn;
    std::vector<double> carryOut;
    double zeros[kBlockFrames] = {};
};
