#include "chips/SndSN76489U.h"

#include <memory>

#include "convert/StateConvU.h"

namespace varnhold {

const TSndDeviceClass TSndSN76489::Class{
    "TSndSN76489", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndSN76489>(); }};

namespace {
constexpr std::uint8_t NoiseChannel = 3;
}

TSndSN76489::TSndSN76489() {
    SetClock(3579545.0);
    SetChannelMapRow(0);
}

// Byte format (one write port):
//   latch byte  1 c c t d d d d   cc = chip channel 0..3 (3 = noise),
//                                 t = 0: dddd = period bits 3..0 (noise: rate and type),
//                                 t = 1: dddd = attenuation (0 loudest, 15 off)
//   data byte   0 x d d d d d d   dddddd = period bits 9..4 of the latched channel
// The tone frequency is Clock / (32 x period); period 0 means no pitch.
void TSndSN76489::WriteRegister(TStateConv& Converter, std::uint8_t, std::uint8_t,
                                std::uint8_t Value) {
    if (FirstWrite) {
        FirstWrite = false;
        SetUpChannels(Converter);
    }
    if (IsBitSet(Value, 7))
        WriteLatch(Converter, Value);
    else
        WriteData(Converter, Value);
}

// The chip has fixed roles: three tone channels and one noise channel.
void TSndSN76489::SetUpChannels(TStateConv& Converter) {
    for (std::uint8_t n = 0; n < 4; ++n)
        Converter.Channels[MapChannel(n)].GeneratorMode = n == NoiseChannel ? 1 : 0;
    for (std::uint8_t n = 0; n < 4; ++n) {
        const std::uint8_t ch = MapChannel(n);
        if (!Converter.DebugMode)
            Converter.Channels[ch].ToneGenerator = 1;
        else if (n == NoiseChannel)
            InitNoiseVoice(Converter, ch);
        else
            InitToneVoice(Converter, ch);
    }
}

void TSndSN76489::WriteLatch(TStateConv& Converter, std::uint8_t Value) {
    LatchedChannel = (Value >> 5) & 0x03;
    if (IsBitClear(Value, 4)) {
        // A latch starts a new period; the data byte that follows supplies the high bits.
        TonePeriod[LatchedChannel] = Value & 0x0F;
        return;
    }
    TChannelState& R = Converter.Channels[MapChannel(LatchedChannel)];
    R.Loudness = VolumeStepToLoudness(Value & 0x0F);
    if (R.Loudness == 0) R.Restrike = 1;
}

void TSndSN76489::WriteData(TStateConv& Converter, std::uint8_t Value) {
    TonePeriod[LatchedChannel] =
        static_cast<std::uint16_t>(TonePeriod[LatchedChannel] | ((Value & 0x3F) << 4));
    UpdatePitch(Converter);
}

void TSndSN76489::UpdatePitch(TStateConv& Converter) {
    TChannelState& R = Converter.Channels[MapChannel(LatchedChannel)];
    const std::uint16_t Period = TonePeriod[LatchedChannel];
    const long double Hz =
        Period == 0 ? 0.0L : static_cast<long double>(GetClock()) / 32.0L / Period;
    CachedFrequencyToNote(R.Note, R.Fine, static_cast<double>(Hz));
    if (R.Note == 0) R.Restrike = 1;
}

} // namespace varnhold
