#include "chips/SndYM2151U.h"

#include <cmath>
#include <memory>

#include "convert/StateConvU.h"

namespace varnhold {

// YM2151 register map (one port; c = chip channel 0-7, register & 7):
//
//   0x08        key on/off   bits 6-3 operator key-on (all four set = key on), bits 2-0 channel
//   0x20+c      RL/FB/CON    bit 7 right, bit 6 left, bits 5-3 feedback, bits 2-0 algorithm
//   0x28+c      KC           bits 6-4 octave, bits 3-0 note code
//   0x30+c      KF           bits 7-2 key fraction (we keep bits 7-3: 1/32 semitone)
//   0x38+c      PMS/AMS      not modelled
//
//   Operator registers 0x40-0xFF, one group of 32 per parameter. Within a group the
//   register offset +0, +8, +16, +24 selects operator 0, 2, 1, 3; bits 2-0 the channel.
//   0x40-0x5F   DT1/MUL      bits 6-4 detune, bits 3-0 multiple
//   0x60-0x7F   TL           bits 6-0 total level
//   0x80-0x9F   KS/AR        bits 7-6 key scale, bits 4-0 attack rate
//   0xA0-0xBF   AMS-EN/D1R   bit 7 amplitude modulation, bits 4-0 first decay rate
//   0xC0-0xDF   DT2/D2R      bits 7-6 second detune (not modelled), bits 4-0 second decay
//   0xE0-0xFF   D1L/RR       bits 7-4 sustain level, bits 3-0 release rate
//
//   0x00-0x07, 0x09-0x1F (test, noise, timers, LFO) are ignored.

namespace {

// Operator number by register bits 4-3.
constexpr std::array<std::uint8_t, 4> OperatorOfSlot{0, 2, 1, 3};

constexpr std::uint8_t PanOf(std::uint8_t Value) {
    switch (Value >> 6) {
    case 1: return 32; // left only
    case 2: return 96; // right only
    default: return 64;
    }
}

constexpr std::array<double, 128> BuildKeyCodeFrequency() {
    // Per octave: note codes 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15.
    constexpr double Rows[8][13] = {
        {324, 344, 364, 386, 409, 433, 459, 486, 515, 546, 578, 613, 649},
        {649, 688, 729, 772, 818, 867, 918, 973, 1031, 1092, 1157, 1226, 1299},
        {1299, 1376, 1458, 1545, 1637, 1734, 1837, 1946, 2062, 2185, 2315, 2452, 2598},
        {2598, 2752, 2916, 3090, 3274, 3468, 3674, 3892, 4124, 4370, 4630, 4904, 5196},
        {5196, 5504, 5832, 6180, 6548, 6936, 7348, 7784, 8248, 8740, 9260, 9808, 10392},
        {10392, 11008, 11664, 12360, 13096, 13872, 14696, 15568, 16496, 17480, 18520, 19616, 20784},
        {20784, 22016, 23328, 24720, 26192, 27744, 29392, 31136, 32992, 34960, 37040, 39232, 41488},
        {41488, 44032, 46656, 49440, 52384, 55488, 58784, 62272, 65984, 69920, 74080, 78464, 82976},
    };
    // Column of each note code; the unused codes 3, 7, 11 share the column of the code above.
    constexpr int Column[16] = {0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12};
    std::array<double, 128> Table{};
    for (int Octave = 0; Octave < 8; ++Octave)
        for (int Code = 0; Code < 16; ++Code)
            Table[Octave * 16 + Code] = Rows[Octave][Column[Code]];
    return Table;
}

} // namespace

const std::array<double, 128> TSndYM2151::KeyCodeFrequency = BuildKeyCodeFrequency();

const TSndDeviceClass TSndYM2151::Class{
    "TSndYM2151", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2151>(); }};

TSndYM2151::TSndYM2151() {
    SetClock(4000000.0);
    SetChannelMapRow(0);
}

void TSndYM2151::WriteRegister(TStateConv& Converter, std::uint8_t /*Port*/, std::uint8_t Register,
                               std::uint8_t Value) {
    const std::uint8_t Channel = Register & 7;
    if (Register == 0x08) {
        WriteKeyOnOff(Converter, Value);
    } else if (Register < 0x20) {
        // test, noise, timers, LFO
    } else if (Register < 0x28) {
        WriteChannelControl(Record(Converter, Channel), Value);
    } else if (Register < 0x30) {
        KeyCode[Channel] = Value & 0x7F;
        UpdatePitch(Converter, Channel);
    } else if (Register < 0x38) {
        KeyFraction[Channel] = Value >> 3;
        UpdatePitch(Converter, Channel);
    } else if (Register < 0x40) {
        // modulation sensitivities
    } else {
        WriteOperator(Record(Converter, Channel), Register, Value);
    }
}

TChannelState& TSndYM2151::Record(TStateConv& Converter, std::uint8_t ChipChannel) const {
    return Converter.Channels[MapChannel(ChipChannel)];
}

void TSndYM2151::WriteKeyOnOff(TStateConv& Converter, std::uint8_t Value) const {
    TChannelState& R = Record(Converter, Value & 7);
    // A partial key-on (some operators only) counts as a release.
    if ((Value & 0x78) == 0x78) {
        R.KeyReleased = 0;
    } else {
        R.KeyReleased = 1;
        R.Restrike = 1;
    }
}

void TSndYM2151::WriteChannelControl(TChannelState& R, std::uint8_t Value) {
    R.Algorithm = Value & 7;
    R.Feedback = (Value >> 3) & 7;
    R.ProgramPending = 1;
    R.Pan = PanOf(Value);
}

void TSndYM2151::WriteOperator(TChannelState& R, std::uint8_t Register, std::uint8_t Value) {
    TOperatorState& Op = R.Operators[OperatorOfSlot[(Register >> 3) & 3]];
    switch (Register & 0xE0) {
    case 0x40:
        Op.Detune = Value >> 4;
        Op.Multiple = Value & 0x0F;
        break;
    case 0x60:
        Op.TotalLevel = Value & 0x7F;
        R.Loudness = CarrierLoudness(R);
        break;
    case 0x80:
        Op.KeyScale = Value >> 6;
        Op.AttackRate = Value & 0x1F;
        break;
    case 0xA0:
        Op.AmplitudeMod = Value >> 7;
        Op.DecayRate = Value & 0x1F;
        break;
    case 0xC0: Op.SustainRate = Value & 0x1F; break;
    case 0xE0:
        Op.SustainLevel = Value >> 4;
        Op.ReleaseRate = Value & 0x0F;
        break;
    }
}

void TSndYM2151::UpdatePitch(TStateConv& Converter, std::uint8_t ChipChannel) const {
    TChannelState& R = Record(Converter, ChipChannel);
    int M = LowestMultiple4(R.Operators[0].Multiple, R.Operators[1].Multiple,
                            R.Operators[2].Multiple, R.Operators[3].Multiple);
    if (Converter.DebugMode) M = 1;

    // Each step of the multiple is one octave here, multiple 0 included. The frequency
    // depends on the 7-bit key code and the multiple.
    const auto Key = static_cast<std::uint32_t>(KeyCode[ChipChannel] | M << 7);
    CachedRegisterToNote(R.Note, R.Fine, Key, [&] {
        const long double Hz = static_cast<long double>(Clock) *
                               KeyCodeFrequency[KeyCode[ChipChannel]] / PowerOfTwo(27 - M);
        return static_cast<double>(Hz);
    });

    // A pitch out of MIDI range stays "no pitch": the fraction must not lift it onto key 1.
    if (R.Note == 0) return;
    const int Sum = R.Fine + KeyFraction[ChipChannel];
    if (Sum > 47 && R.Note < 127) {
        ++R.Note;
        R.Fine = static_cast<std::uint8_t>(Sum - 32);
    } else {
        R.Fine = static_cast<std::uint8_t>(Sum);
    }
}

} // namespace varnhold
