#include "convert/StateConvU.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/ErrorsU.h"
#include "platform/FileUtilU.h"

namespace varnhold {

namespace {

// MIDI controllers the converter sends.
enum : std::uint8_t {
    CcBankSelectMsb = 0,
    CcDataEntryMsb = 6,
    CcVolume = 7,
    CcPan = 10,
    CcExpression = 11,
    CcBankSelectLsb = 32,
    CcDataEntryLsb = 38,
    CcRpnLsb = 100,
    CcRpnMsb = 101,
};

constexpr std::uint8_t NoProgram = 255;
constexpr std::uint8_t DrumChannel = 9;
constexpr std::uint8_t CentreBend = 64;
constexpr std::uint8_t CentrePan = 64;
// Outside what FrequencyToNote produces, so that the first pitch always goes out.
constexpr std::uint8_t UnsentFine = 64;

// The bank-select pair that precedes program changes in debug mode; it also names the
// voice bank that the .vm3 file holds.
constexpr std::uint8_t DebugBankMsb = 124;
constexpr std::uint8_t DebugBankLsb = 1;

// Program for FM channels when voices are not captured.
constexpr std::uint8_t FmDefaultProgram = 87;

// Algorithm of a channel record (0..7 four-operator, 8 two-operator) -> voice algorithm code.
constexpr std::array<std::uint8_t, 9> VoiceAlgorithmCodes{4, 4, 3, 4, 5, 5, 5, 2, 0};

// Rhythm instrument (bass drum, snare, top cymbal, hi-hat, tom, rim shot) -> GM drum key.
constexpr std::array<std::uint8_t, 6> DrumNotes{36, 38, 51, 42, 47, 37};

// Programs of square-wave/noise generator channels by GeneratorMode (tone, noise, tone plus
// noise); row 0 without captured voices, row 1 with them.
constexpr std::array<std::array<std::uint8_t, 3>, 2> GeneratorPrograms{{
    {80, 80, 80},
    {80, 76, 77},
}};

const char* const CapturedVoiceName = "Varnhold";
const char* const ClosingVoiceName = "Brennic-End";

// Records are compared as bytes (every field is a byte, there is no padding): one block
// compare instead of a field-by-field walk for every channel at every mark.
static_assert(std::has_unique_object_representations_v<TChannelState>);
bool SameRecord(const TChannelState& A, const TChannelState& B) {
    return std::memcmp(&A, &B, sizeof(TChannelState)) == 0;
}

bool Sounds(const TChannelState& C) {
    return C.Note != 0 && C.KeyReleased == 0 && C.Loudness != 0;
}

std::uint8_t GeneratorProgram(bool UseProgramChange, std::uint8_t Mode) {
    // An unknown mode is played as plain tone.
    return GeneratorPrograms[UseProgramChange ? 1 : 0][Mode < 3 ? Mode : 0];
}

} // namespace

void TStateConv::Reset(std::uint16_t Tempo) {
    Bank.Clear();
    Smf.Clear();
    VoiceCount = 0;
    Now = 0;

    Smf.AddTempo(0, Tempo);
    // Universal real-time master volume, LSB 0x00, MSB 0x76.
    static constexpr std::uint8_t MasterVolume[] = {0x7F, 0x7F, 0x04, 0x01, 0x00, 0x76};
    Smf.AddSysEx(0, MasterVolume);

    for (std::uint8_t c = 0; c < 16; ++c) {
        // Pitch-bend range of 2 semitones through registered parameter 0.
        Smf.AddControlChange(0, c, CcRpnMsb, 0);
        Smf.AddControlChange(0, c, CcRpnLsb, 0);
        Smf.AddControlChange(0, c, CcDataEntryMsb, 2);
        Smf.AddControlChange(0, c, CcDataEntryLsb, 0);
        Smf.AddPitchBend(0, c, CentreBend);
        Smf.AddControlChange(0, c, CcVolume, 127);
        Smf.AddControlChange(0, c, CcExpression, UseVelocity ? 127 : 0);
        Smf.AddControlChange(0, c, CcPan, CentrePan);

        // The voice fields (Algorithm to Operators) keep their values.
        TChannelState& C = Channels[c];
        C.Program = NoProgram;
        C.ProgramPending = 0;
        C.Sounding = 0;
        C.Restrike = 0;
        C.Note = 0;
        C.KeyReleased = 0;
        C.ToneGenerator = 0;
        C.GeneratorMode = 0;
        C.Fine = UnsentFine;
        C.Loudness = 0;
        C.Pan = CentrePan;
        Emitted[c] = C;
    }
    TVm3::InitVoice(VoiceScratch);

    for (TRhythmState& R : Rhythm) {
        R.KeyOn = 0;
        R.Velocity = 127;
        R.Note = 0;
    }
    RhythmLevel = 0;
    RhythmLevelEmitted = 0;
}

void TStateConv::FoldVibrato(std::uint8_t& Note, std::uint8_t& Fine, std::uint8_t LastNote,
                             std::uint8_t LastFine) {
    // Note 0 is no pitch, not a key: folding into it would silence a note, and folding out
    // of it would keep a released channel sounding (at the end, a note without its off).
    if (Note == 0 || LastNote == 0) return;
    // In int, so that 255 has no key above it.
    const int N = Note, F = Fine, LN = LastNote, LF = LastFine;
    if (N - 1 == LN && LF > 32 && F < 32) {
        Note = static_cast<std::uint8_t>(N - 1);
        Fine = static_cast<std::uint8_t>(F + 32);
    } else if (N + 1 == LN && LF < 32 && F > 32) {
        Note = static_cast<std::uint8_t>(N + 1);
        Fine = static_cast<std::uint8_t>(F - 32);
    }
}

void TStateConv::CaptureVoice(std::uint8_t Channel) {
    const TChannelState& C = Channels.at(Channel);
    const std::uint8_t Algorithm = C.Algorithm;

    TVm3::InitVoice(VoiceScratch);
    TVm3::SetAlgorithm(VoiceScratch,
                       Algorithm < VoiceAlgorithmCodes.size() ? VoiceAlgorithmCodes[Algorithm] : 0);
    TVm3::SetOpFeedback(VoiceScratch, 0, C.Feedback);

    // Carriers sound at full level in the voice, without key scaling and with a release
    // that is not too long; the loudness travels as velocity or expression instead. The
    // adjustment goes into a copy: the chip models keep reading their own levels.
    std::array<TOperatorState, 4> Ops = C.Operators;
    auto MakeCarrier = [&Ops](int k) {
        Ops[k].TotalLevel = 0;
        Ops[k].KeyScale = 0;
        Ops[k].ReleaseRate = std::max<std::uint8_t>(Ops[k].ReleaseRate, 7);
    };
    switch (Algorithm) {
    case 0:
    case 1:
    case 2:
    case 3:
        for (TOperatorState& Op : Ops)
            Op.KeyScale = 0;
        MakeCarrier(3);
        break;
    case 4:
        MakeCarrier(1);
        MakeCarrier(3);
        break;
    case 5:
    case 6:
        MakeCarrier(1);
        MakeCarrier(2);
        MakeCarrier(3);
        break;
    case 7:
        for (int k = 0; k < 4; ++k)
            MakeCarrier(k);
        break;
    default: break;
    }

    if (Algorithm == 8) {
        // Two-operator voice: modulator and carrier, values as the chip has them.
        for (int k = 0; k < 2; ++k) {
            const TOperatorState& Op = Ops[k];
            TVm3::SetOpAttackRate(VoiceScratch, k, Op.AttackRate);
            TVm3::SetOpDecayRate(VoiceScratch, k, Op.DecayRate);
            TVm3::SetOpSustainLevel(VoiceScratch, k, Op.SustainLevel);
            TVm3::SetOpReleaseRate(VoiceScratch, k, Op.ReleaseRate);
            TVm3::SetOpWaveform(VoiceScratch, k, Op.Waveform);
            TVm3::SetOpTotalLevel(VoiceScratch, k, Op.TotalLevel);
            TVm3::SetOpKeyScaleLevel(VoiceScratch, k, Op.KeyScaleLevel);
            TVm3::SetOpMultiple(VoiceScratch, k, Op.Multiple);
            TVm3::SetOpKeyScaleRate(VoiceScratch, k, Op.KeyScaleRate);
            TVm3::SetOpEnvelopeType(VoiceScratch, k, Op.EnvelopeType);
            TVm3::SetOpAmplitudeMod(VoiceScratch, k, Op.AmplitudeMod);
            TVm3::SetOpVibrato(VoiceScratch, k, Op.Vibrato);
        }
        return;
    }

    // Four-operator voice: the four-bit rates and the six-bit level of the voice format.
    for (int k = 0; k < 4; ++k) {
        const TOperatorState& Op = Ops[k];
        TVm3::SetOpAttackRate(VoiceScratch, k, Op.AttackRate / 2);
        TVm3::SetOpDecayRate(VoiceScratch, k, Op.DecayRate / 2);
        TVm3::SetOpSustainRate(VoiceScratch, k, Op.SustainRate / 2);
        TVm3::SetOpReleaseRate(VoiceScratch, k, Op.ReleaseRate);
        TVm3::SetOpSustainLevel(VoiceScratch, k, Op.SustainLevel);
        TVm3::SetOpTotalLevel(VoiceScratch, k,
                              k == 3 ? 0 : std::min<std::uint8_t>(Op.TotalLevel, 63));
        TVm3::SetOpKeyScaleLevel(VoiceScratch, k, Op.KeyScale / 2);
        TVm3::SetOpMultiple(VoiceScratch, k, Op.Multiple);
        TVm3::SetOpDetune(VoiceScratch, k, Op.Detune);
        TVm3::SetOpAmplitudeMod(VoiceScratch, k, Op.AmplitudeMod);
        TVm3::SetOpVibrato(VoiceScratch, k, Op.Vibrato);
        TVm3::SetOpWaveform(VoiceScratch, k, Op.Waveform);
    }

    if (Algorithm == 5) {
        // Operator 0 modulates three carriers here; fold it into voice operator 2. The
        // setters OR, so operator 2 ends with the bitwise OR of both operators' values.
        const TOperatorState& Op0 = Ops[0];
        TVm3::SetOpAttackRate(VoiceScratch, 2, Op0.AttackRate / 2);
        TVm3::SetOpDecayRate(VoiceScratch, 2, Op0.DecayRate / 2);
        TVm3::SetOpSustainRate(VoiceScratch, 2, Op0.SustainRate / 2);
        TVm3::SetOpReleaseRate(VoiceScratch, 2, Op0.ReleaseRate);
        TVm3::SetOpSustainLevel(VoiceScratch, 2, Op0.SustainLevel);
        TVm3::SetOpTotalLevel(VoiceScratch, 2, Op0.TotalLevel / 2);
        TVm3::SetOpKeyScaleLevel(VoiceScratch, 2, Op0.KeyScale / 2);
        TVm3::SetOpMultiple(VoiceScratch, 2, Op0.Multiple);
        TVm3::SetOpDetune(VoiceScratch, 2, Op0.Detune);
        TVm3::SetOpAmplitudeMod(VoiceScratch, 2, Op0.AmplitudeMod);
    }
}

void TStateConv::ProcessMark() {
    for (std::uint8_t c = 0; c < 16; ++c) {
        TChannelState& C = Channels[c];
        TChannelState& E = Emitted[c];

        // A record that equals its emitted copy, its sounding state unchanged, sends nothing
        // and changes nothing below: unused and resting channels pass here. (While silent,
        // the copy keeps the loudness last sent, so equal bytes alone do not settle that.)
        if (SameRecord(C, E) && C.Sounding == (Sounds(C) ? 1 : 0)) continue;

        // 1. A pitch that crossed into the key the last bend already leaned towards stays
        // on the last key and is carried by the bend.
        if (UsePitchBendVib) FoldVibrato(C.Note, C.Fine, E.Note, E.Fine);

        // 2, 3.
        C.Sounding = Sounds(C) ? 1 : 0;
        if (C.Program == NoProgram && C.Sounding == 1) C.ProgramPending = 1;

        // 4. Program: chosen only while the channel sounds.
        if (C.ProgramPending == 1 && C.Sounding == 1) {
            if (C.ToneGenerator == 1) {
                C.Program = GeneratorProgram(UseProgramChange, C.GeneratorMode);
            } else if (UseProgramChange) {
                CaptureVoice(c);
                const int Index = Bank.FindVoice(VoiceScratch);
                if (Index >= 0) {
                    C.Program = static_cast<std::uint8_t>(Index);
                } else if (VoiceCount < MaxCapturedVoices) {
                    Bank.AddVoice(VoiceScratch, VoiceCount, CapturedVoiceName);
                    C.Program = VoiceCount;
                    ++VoiceCount;
                }
                // With the bank full a new voice has no program number: the channel keeps
                // the program it has (none yet: the MIDI default), and the voice is left out.
            } else {
                C.Program = FmDefaultProgram;
            }
            if (C.Program != E.Program && C.Program <= 127) {
                if (WritesVoiceBank()) {
                    Smf.AddControlChange(Now, c, CcBankSelectMsb, DebugBankMsb);
                    Smf.AddControlChange(Now, c, CcBankSelectLsb, DebugBankLsb);
                }
                Smf.AddProgramChange(Now, c, C.Program);
            }
            C.ProgramPending = 0;
        }

        // 5. Pan, also while silent.
        if (UsePanpot && C.Pan != E.Pan) Smf.AddControlChange(Now, c, CcPan, C.Pan);

        // 6. Expression, only while sounding; a silent channel keeps the loudness last sent.
        const std::uint8_t LoudnessSent = E.Loudness;
        if (!UseVelocity && C.Sounding == 1 && C.Loudness != E.Loudness)
            Smf.AddControlChange(Now, c, CcExpression, C.Loudness);

        // 7. Pitch bend, also while silent: one unit is 1/32 semitone, 64 is on the key.
        if (UsePitchBend && C.Fine != E.Fine) Smf.AddPitchBend(Now, c, C.Fine + 32);

        // 8. Notes.
        const std::uint8_t Velocity = UseVelocity ? C.Loudness : 127;
        if (C.Sounding == 1 && E.Sounding == 1) {
            if (C.Note != E.Note || C.Restrike == 1) {
                Smf.AddNoteOff(Now, c, E.Note);
                Smf.AddNoteOn(Now, c, C.Note, Velocity);
            }
        } else if (C.Sounding == 1) {
            Smf.AddNoteOn(Now, c, C.Note, Velocity);
        } else if (E.Sounding == 1) {
            Smf.AddNoteOff(Now, c, E.Note);
        }

        // 9.
        C.Restrike = 0;
        E = C;
        if (C.Sounding == 0) E.Loudness = LoudnessSent;
    }

    // 10. The rhythm section's loudness.
    if (RhythmLevel != RhythmLevelEmitted && RhythmLevel != 0)
        Smf.AddControlChange(Now, DrumChannel, CcExpression, RhythmLevel);
    RhythmLevelEmitted = RhythmLevel;

    // 11. Drum notes last one tick, whatever the options.
    for (std::size_t j = 0; j < Rhythm.size(); ++j) {
        TRhythmState& R = Rhythm[j];
        R.Note = DrumNotes[j];
        if (R.KeyOn == 1) {
            Smf.AddNoteOn(Now, DrumChannel, R.Note, R.Velocity);
            Smf.AddNoteOff(Now + 1, DrumChannel, R.Note);
            R.KeyOn = 0;
        }
    }
}

std::string TStateConv::MidFileName(const std::string& SourceFileName) const {
    const std::string Base = ChangeFileExt(ExtractFileName(SourceFileName), "");
    return ExtractFilePath(SourceFileName) + Base + NameSuffix + ".mid";
}

std::string TStateConv::Vm3FileName(const std::string& SourceFileName) const {
    return ChangeFileExt(MidFileName(SourceFileName), ".vm3");
}

void TStateConv::Finish(const std::string& SourceFileName) {
    const std::string MidName = MidFileName(SourceFileName);

    // The drum note offs of this pass lie one tick later still.
    if (Now > std::numeric_limits<std::int32_t>::max() - 2)
        throw ELimitError("the log is too long for a MIDI file: " + MidName);
    ++Now;
    for (std::uint8_t c = 0; c < 16; ++c) {
        Channels[c].Sounding = 0;
        Channels[c].Note = 0;
        Channels[c].KeyReleased = 0;
    }
    ProcessMark();

    Smf.EndTime = Now;
    Smf.SaveToFile(MidName);

    if (WritesVoiceBank()) {
        TVm3::InitVoice(VoiceScratch);
        Bank.AddVoice(VoiceScratch, VoiceCount, ClosingVoiceName);
        const std::string Vm3Name = Vm3FileName(SourceFileName);
        if (!Bank.SaveToFile(Vm3Name))
            throw EFileError("cannot write the voice bank file " + Vm3Name);
    }
}

} // namespace varnhold
