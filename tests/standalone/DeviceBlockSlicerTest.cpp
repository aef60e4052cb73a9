#include "standalone/DeviceBlockSlicer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kChannels = 2;
constexpr double kGuard = -777.0;

// A plug-in stand-in: each output is its input times (channel + 2), so a mixed-up channel or
// frame shows; every block is logged with the first input sample it saw.
struct ScalingBlock
{
    std::vector<double> firstInputs;
    void operator()(double** in, double** out)
    {
        firstInputs.push_back(in[0][0]);
        for (int c = 0; c < kChannels; ++c)
            for (int i = 0; i < DeviceBlockSlicer::kBlockFrames; ++i)
                out[c][i] = in[c][i] * (c + 2);
    }
};

// Device buffers with guard samples on both sides, so writing past either end shows.
struct GuardedBuffer
{
    GuardedBuffer(int n, int channels) : frames(n), data(size_t(n) * channels + 2 * kPad, kGuard) {}
    double* Samples() { return data.data() + kPad; }
    bool GuardsIntact() const
    {
        for (int i = 0; i < kPad; ++i)
            if (data[size_t(i)] != kGuard || data[data.size() - 1 - size_t(i)] != kGuard)
                return false;
        return true;
    }
    static constexpr int kPad = 64;
    int frames;
    std::vector<double> data;
};

double InputSample(int channel, long frame)
{
    return 1.0 + channel * 100000.0 + double(frame);
}

TEST(DeviceBlockSlicer, WholeBlockBuffersAreProcessedInPlaceWithoutDelay)
{
    DeviceBlockSlicer slicer;
    slicer.Configure(kChannels, kChannels, kChannels, kChannels);
    const int n = 512;
    GuardedBuffer in(n, kChannels), out(n, kChannels);
    for (int c = 0; c < kChannels; ++c)
        for (int i = 0; i < n; ++i)
            in.Samples()[c * n + i] = InputSample(c, i);
    ScalingBlock block;
    slicer.Run(in.Samples(), out.Samples(), n, block);

    ASSERT_EQ(block.firstInputs.size(), 8u);
    for (int b = 0; b < 8; ++b)
        EXPECT_EQ(block.firstInputs[size_t(b)], InputSample(0, b * 64)) << "block " << b;
    for (int c = 0; c < kChannels; ++c)
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(out.Samples()[c * n + i], InputSample(c, i) * (c + 2)) << c << "," << i;
    EXPECT_TRUE(in.GuardsIntact());
    EXPECT_TRUE(out.GuardsIntact());
    EXPECT_FALSE(slicer.Carrying());
}

// Other buffer lengths still give the plug-in whole 64-frame blocks; the output is the same
// signal 64 frames late, and nothing outside the device buffers is touched.
TEST(DeviceBlockSlicer, AnyBufferLengthIsCarriedIntoWholeBlocks)
{
    for (int n : {32, 96, 300, 1, 63, 65, 1000}) {
        SCOPED_TRACE(n);
        DeviceBlockSlicer slicer;
        slicer.Configure(kChannels, kChannels, kChannels, kChannels);
        ScalingBlock block;
        long frame = 0;
        const int callbacks = 2000 / n + 3;
        for (int k = 0; k < callbacks; ++k) {
            GuardedBuffer in(n, kChannels), out(n, kChannels);
            for (int c = 0; c < kChannels; ++c)
                for (int i = 0; i < n; ++i)
                    in.Samples()[c * n + i] = InputSample(c, frame + i);
            slicer.Run(in.Samples(), out.Samples(), n, block);
            for (int c = 0; c < kChannels; ++c)
                for (int i = 0; i < n; ++i) {
                    const long source = frame + i - DeviceBlockSlicer::kBlockFrames;
                    const double expected = source < 0 ? 0.0 : InputSample(c, source) * (c + 2);
                    ASSERT_EQ(out.Samples()[c * n + i], expected) << "channel " << c << " frame " << frame + i;
                }
            ASSERT_TRUE(in.GuardsIntact());
            ASSERT_TRUE(out.GuardsIntact());
            frame += n;
        }
        EXPECT_EQ(long(block.firstInputs.size()), frame / DeviceBlockSlicer::kBlockFrames);
        EXPECT_EQ(slicer.Fill(), int(frame % DeviceBlockSlicer::kBlockFrames));
    }
}

TEST(DeviceBlockSlicer, SlotsBeyondTheDeviceReadSilenceAndWriteNowhere)
{
    DeviceBlockSlicer slicer;
    slicer.Configure(0, 1, kChannels, kChannels);
    const int n = 128;
    GuardedBuffer out(n, 1);
    ScalingBlock block;
    slicer.Run(nullptr, out.Samples(), n, block);
    ASSERT_EQ(block.firstInputs.size(), 2u);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(out.Samples()[i], 0.0);
    EXPECT_TRUE(out.GuardsIntact());
}

// A one-channel input feeds both plug-in inputs, in place and carried.
TEST(DeviceBlockSlicer, AMonoInputFeedsEveryInputSlot)
{
    for (int n : {128, 96}) {
        SCOPED_TRACE(n);
        DeviceBlockSlicer slicer;
        slicer.Configure(1, kChannels, kChannels, kChannels);
        ScalingBlock block;
        const long delay = n % DeviceBlockSlicer::kBlockFrames == 0 ? 0 : DeviceBlockSlicer::kBlockFrames;
        long frame = 0;
        for (int k = 0; k < 4; ++k) {
            GuardedBuffer in(n, 1), out(n, kChannels);
            for (int i = 0; i < n; ++i)
                in.Samples()[i] = InputSample(0, frame + i);
            slicer.Run(in.Samples(), out.Samples(), n, block);
            for (int c = 0; c < kChannels; ++c)
                for (int i = 0; i < n; ++i) {
                    const long source = frame + i - delay;
                    const double expected = source < 0 ? 0.0 : InputSample(0, source) * (c + 2);
                    ASSERT_EQ(out.Samples()[c * n + i], expected) << "channel " << c << " frame " << frame + i;
                }
            ASSERT_TRUE(in.GuardsIntact());
            frame += n;
        }
    }
}

} // namespace
