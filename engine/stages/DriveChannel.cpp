#include "engine/stages/DriveChannel.h"

const double DriveChannel::kHalfBand12[12] = {
    -0.005198285344379434, 0.01791067627227659,  -0.03077689740432813, 0.04886828179898888,
    -0.09786722543396198,  0.317063450111404,    0.317063450111404,    -0.09786722543396198,
    0.04886828179898888,   -0.03077689740432813, 0.01791067627227659,  -0.005198285344379434,
};

const double DriveChannel::kHalfBand6[6] = {
    0.010142655140882232, -0.05891475106369009, 0.2987720959228078,
    0.2987720959228078,   -0.05891475106369009, 0.010142655140882232,
};

DriveChannel::DriveChannel() : outer(kHalfBand12), inner(kHalfBand6) {}

void DriveChannel::Clear()
{
    outer.Clear();
    inner.Clear();
    halfRateDelay = 0.0;
    voices.odLow720 = 0.0;
    voices.odLow9000 = 0.0;
    voices.odPost = 0.0;
    ClearFuzz();
    envelopeFast = 0.0;
    envelopeSlow = 0.0;
    dcInPrev = 0.0;
    dcOutPrev = 0.0;
}

void DriveChannel::ClearFuzz()
{
    voices.fuzzLow250 = 0.0;
    voices.fuzzDc = 0.0;
    voices.fuzzPost = 0.0;
    voices.fuzzClipPrev = 0.0;
    voices.rectPrev = 0.0;
}
