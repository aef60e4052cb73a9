#include "standalone/DeviceBlockSlicer.h"

void DeviceBlockSlicer::Configure(int inputs, int outputs, int pluginInputs, int pluginOutputs)
{
    deviceInputs = std::clamp(inputs, 0, pluginInputs);
    deviceOutputs = std::clamp(outputs, 0, pluginOutputs);
    fill = 0;
    carrying = false;
    silentInput.assign(kBlockFrames, 0.0);
    spareOutput.assign(kBlockFrames, 0.0);
    carryIn.assign(size_t(deviceInputs) * kBlockFrames, 0.0);
    carryOut.assign(size_t(deviceOutputs) * kBlockFrames, 0.0);
    inputPointers.assign(size_t(std::max(pluginInputs, 0)), silentInput.data());
    outputPointers.assign(size_t(std::max(pluginOutputs, 0)), spareOutput.data());
}

void DeviceBlockSlicer::AimAtDevice(const double* input, double* output, int n, int start)
{
    for (int c = 0; c < deviceInputs; ++c)
        inputPointers[size_t(c)] = input ? const_cast<double*>(&input[size_t(c) * n + start]) : silentInput.data();
    ShareMonoInput();
    for (int c = 0; c < deviceOutputs; ++c)
        outputPointers[size_t(c)] = &output[size_t(c) * n + start];
}

void DeviceBlockSlicer::AimAtCarry()
{
    for (int c = 0; c < deviceInputs; ++c)
        inputPointers[size_t(c)] = &carryIn[size_t(c) * kBlockFrames];
    ShareMonoInput();
    for (int c = 0; c < deviceOutputs; ++c)
        outputPointers[size_t(c)] = &carryOut[size_t(c) * kBlockFrames];
}

void DeviceBlockSlicer::ShareMonoInput()
{
    if (deviceInputs != 1)
        return;
    for (size_t c = 1; c < inputPointers.size(); ++c)
        inputPointers[c] = inputPointers[0];
}
