#include "chips/SndAY38910U.h"

#include <memory>

#include "convert/StateConvU.h"

namespace varnhold {

const TSndDeviceClass TSndAY38910::Class{
    "TSndAY38910", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndAY38910>(); }};

const TSndDeviceClass TSndYM2149::Class{
    "TSndYM2149", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2149>(); }};

TSndAY38910::TSndAY38910() {
    SetClock(3579545.0);
    SetChannelMapRow(0);
    MixerMode.fill(MixerNoiseOnly);
}

// Register map (port 0 only; port 1 does not exist on this chip and is ignored):
//   0, 2, 4   tone period fine, channel A/B/C    bits 7..0 = period bits 7..0
//   1, 3, 5   tone period coarse, channel A/B/C  bits 3..0 = period bits 11..8
//   6         noise period                        (no effect on the output)
//   7         mixer: bits 2..0 tone off A/B/C, bits 5..3 noise off A/B/C (1 = disabled),
//             bits 7..6 I/O direction (ignored)
//   8, 9, 10  amplitude A/B/C: bit 4 = envelope mode, bits 3..0 = level (15 loudest)
//   11..15    envelope period and shape, I/O ports (ignored)
// The tone frequency is Clock / (32 x period); period 0 means no pitch.
void TSndAY38910::WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                                std::uint8_t Value) {
    if (Port == 1) return;
    switch (Register) {
    case 0:
    case 2:
    case 4: {
        const std::uint8_t n = Register / 2;
        TonePeriod[n] = static_cast<std::uint16_t>((TonePeriod[n] & 0xFF00) | Value);
        UpdatePitch(Converter, n);
        break;
    }
    case 1:
    case 3:
    case 5: {
        const std::uint8_t n = Register / 2;
        TonePeriod[n] =
            static_cast<std::uint16_t>((TonePeriod[n] & 0x00FF) | ((Value & 0x0F) << 8));
        UpdatePitch(Converter, n);
        break;
    }
    case 7: UpdateMixer(Converter, Value); break;
    case 8:
    case 9:
    case 10: UpdateAmplitude(Converter, Register - 8, Value); break;
    default: break; // noise period, envelope, I/O ports
    }
}

void TSndAY38910::UpdatePitch(TStateConv& Converter, std::uint8_t Channel) {
    TChannelState& R = Converter.Channels[MapChannel(Channel)];
    if (!Converter.DebugMode) R.ToneGenerator = 1;
    const std::uint16_t Period = TonePeriod[Channel];
    const long double Hz =
        Period == 0 ? 0.0L : static_cast<long double>(GetClock()) / Period / 32.0L;
    CachedFrequencyToNote(R.Note, R.Fine, static_cast<double>(Hz));
    if (R.Note == 0) R.Restrike = 1;
}

// Every mixer write re-initialises the preset voice of each channel that still produces
// sound, so that a voice can be captured for the current generator mode.
void TSndAY38910::UpdateMixer(TStateConv& Converter, std::uint8_t Value) {
    for (std::uint8_t n = 0; n < 3; ++n) {
        MixerMode[n] = PsgMixerState(Value, n);
        ApplyPsgMixerState(Converter, MapChannel(n), static_cast<TPsgMixerState>(MixerMode[n]));
    }
}

void TSndAY38910::UpdateAmplitude(TStateConv& Converter, std::uint8_t Channel, std::uint8_t Value) {
    TChannelState& R = Converter.Channels[MapChannel(Channel)];
    if (!Converter.DebugMode) R.ToneGenerator = 1;
    R.Loudness = PsgAmplitudeLoudness(Value);
    if (R.Loudness == 0) R.Restrike = 1;
}

} // namespace varnhold
