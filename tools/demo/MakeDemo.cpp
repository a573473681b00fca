// Writes the bundled example tune, examples/demo.s98: "Harbour Lights", 38 seconds in
// D minor for one YM2608. FM lead (left) with its echo (right), FM bass, an FM pad split
// left and right, SSG arpeggio and bells, and the rhythm section.
//
//   varnhold-make-demo [OUTPUT.s98]      (default: examples/demo.s98)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "S98Builder.h"
#include "Ym2608Composer.h"

namespace {

using namespace varnhold::tools;

constexpr int StepsPerBar = 16;
constexpr std::uint32_t SyncsPerStep = 125; // sixteenth notes at 120 BPM, 1 ms syncs

// FM channels.
constexpr int Lead = 0, Bass = 1, PadLow = 2, PadHigh = 3, Echo = 5;
// SSG channels.
constexpr int Arpeggio = 0, Bell = 1;
// Rhythm instruments.
enum : std::uint8_t { BD = 1, SD = 2, TOP = 4, HH = 8, TOM = 16, RIM = 32 };

// ---- the score ----

// A chord by root pitch class (C = 0) and whether it is minor.
struct TChord {
    int Root;
    bool Minor;
};
constexpr TChord Dm{2, true}, Bb{10, false}, C{0, false}, A{9, false}, Gm{7, true};

// Two chords per bar (first and second half).
struct TBar {
    TChord First, Second;
    const char* Melody; // 16 steps: a note ("C#5"), "." hold, "-" release
};

// Two bars of intro, sixteen of tune, one closing bar.
const std::vector<TBar> Score = {
    {Dm, Dm, "- . . . . . . . . . . . . . . ."},
    {Bb, A, "- . . . . . . . . . . . . . . ."},
    // A
    {Dm, Dm, "A4 . . . D5 . . . E5 . F5 . . . E5 ."},
    {Bb, Bb, "D5 . . . . . . . - . F5 . G5 . F5 ."},
    {C, C, "E5 . . . C5 . . . G4 . C5 . E5 . G5 ."},
    {A, A, "A5 . . . . . . . G5 . F5 . E5 . C#5 ."},
    // A'
    {Dm, Dm, "D5 . . . A4 . . . D5 . F5 . A5 . . ."},
    {Bb, Bb, "Bb5 . . . A5 . G5 . F5 . . . D5 . F5 ."},
    {C, C, "G5 . . . E5 . C5 . E5 . G5 . C6 . . ."},
    {A, A, "A5 . . . . . . . . . . . - . . ."},
    // B
    {Gm, Gm, "G5 . . . Bb5 . . . A5 . G5 . F5 . . ."},
    {Dm, Dm, "A5 . . . F5 . . . D5 . E5 . F5 . . ."},
    {Bb, Bb, "D5 . . . F5 . Bb5 . A5 . . . F5 . D5 ."},
    {A, A, "E5 . . . . . . . C#5 . E5 . A5 . . ."},
    // A''
    {Dm, Dm, "D6 . . . A5 . . . F5 . A5 . D6 . . ."},
    {Bb, Bb, "C6 . Bb5 . A5 . . . G5 . F5 . G5 . . ."},
    {Gm, A, "Bb5 . . . A5 . G5 . E5 . . . C#5 . . ."},
    {Dm, Dm, "F5 . . . E5 . D5 . E5 . . . A4 . . ."},
    // close
    {Dm, Dm, "D5 . . . . . . . . . . . - . . ."},
};
constexpr int PadBar = 6, BellBar = 10, LoudBar = 14;
const int LastBar = static_cast<int>(Score.size()) - 1;

// Bass: semitones above the half-bar's root, "." hold, "-" release.
const char* const BassLine = "0 . - 0 12 . 0 . 0 . - 0 12 . 7 .";

// Drums, one row per instrument, "x" strikes.
struct TGroove {
    const char* Bd;
    const char* Sd;
    const char* Hh;
    const char* Tom;
};
constexpr TGroove Groove{"x.....x.x.....x.", "....x.......x...", "x.x.x.x.x.x.x.x.",
                         "................"};
constexpr TGroove Fill{"x.....x.x.......", "....x.....x.x...", "x.x.x.x.x.......",
                       "............x.xx"};
constexpr const char* RimB = "...x.......x....";

// ---- the voices ----

// Two stacked pairs: a bright, slightly detuned lead. Carriers are S2 and S4.
TFmVoice LeadVoice(std::uint8_t CarrierLevel) {
    return {4,
            5,
            {FmOp(0, 1, 32, 31, 10, 2, 3, 6), FmOp(3, 1, CarrierLevel, 31, 6, 2, 2, 7, 1),
             FmOp(7, 2, 40, 31, 12, 3, 4, 6), FmOp(0, 1, CarrierLevel, 31, 5, 2, 2, 7, 1)}};
}

// A plucked chain for the bass; only S4 is heard.
const TFmVoice BassVoice{0,
                         6,
                         {FmOp(0, 1, 36, 31, 14, 0, 5, 8), FmOp(0, 3, 44, 31, 16, 0, 6, 8),
                          FmOp(0, 1, 28, 31, 12, 2, 4, 8, 1), FmOp(0, 1, 6, 31, 8, 3, 3, 9, 1)}};

// One modulator over three soft carriers: a slow pad.
const TFmVoice PadVoice{5,
                        3,
                        {FmOp(0, 1, 42, 20, 4, 0, 2, 5), FmOp(3, 1, 20, 16, 2, 0, 1, 5),
                         FmOp(0, 2, 26, 16, 2, 0, 1, 5), FmOp(7, 1, 20, 16, 2, 0, 1, 5)}};

// ---- rendering ----

int KeyOf(const std::string& Name) {
    static const int PitchClass[] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    int Key = PitchClass[Name.at(0) - 'A'];
    std::size_t i = 1;
    if (Name.at(i) == '#')
        ++Key, ++i;
    else if (Name.at(i) == 'b')
        --Key, ++i;
    return Key + 12 * (std::stoi(Name.substr(i)) + 1);
}

std::vector<std::string> Tokens(const char* Line) {
    std::istringstream In(Line);
    std::vector<std::string> Out;
    for (std::string T; In >> T;)
        Out.push_back(T);
    if (Out.size() != StepsPerBar) throw std::runtime_error(std::string("bad bar: ") + Line);
    return Out;
}

// Keys of a chord for each part.
int BassRoot(TChord Ch) {
    return Ch.Root <= 4 ? 36 + Ch.Root : 24 + Ch.Root;
}
int PadKey(int PitchClass) { // within 58..69
    const int Key = 60 + PitchClass % 12;
    return Key >= 70 ? Key - 12 : Key < 58 ? Key + 12 : Key;
}
int Third(TChord Ch) {
    return Ch.Root + (Ch.Minor ? 3 : 4);
}
int ArpeggioRoot(TChord Ch) {
    return Ch.Root >= 2 ? 60 + Ch.Root : 72 + Ch.Root;
}

// What the lead does at one step; the echo repeats it three steps later.
struct TLeadStep {
    enum { Hold, On, Off, Bend } Kind = Hold;
    int Key = 0;
    double Cents = 0;
};

std::vector<TLeadStep> LeadSteps() {
    std::vector<std::string> All;
    for (const TBar& Bar : Score)
        for (std::string& T : Tokens(Bar.Melody))
            All.push_back(std::move(T));
    std::vector<TLeadStep> Steps(All.size());
    for (std::size_t s = 0; s < All.size(); ++s) {
        if (All[s] == "-") {
            Steps[s].Kind = TLeadStep::Off;
        } else if (All[s] != ".") {
            Steps[s] = {TLeadStep::On, KeyOf(All[s]), 0};
            // Long notes get a gentle vibrato after a quarter note.
            std::size_t Length = 1;
            while (s + Length < All.size() && All[s + Length] == ".")
                ++Length;
            for (std::size_t k = 4; Length >= 8 && k < Length; ++k)
                Steps[s + k] = {TLeadStep::Bend, Steps[s].Key, k % 2 ? 18.0 : -18.0};
        }
    }
    return Steps;
}

void PlayLead(TYm2608Composer& Chip, int Channel, const TLeadStep& Step) {
    switch (Step.Kind) {
    case TLeadStep::On: Chip.NoteOn(Channel, Step.Key); break;
    case TLeadStep::Off: Chip.NoteOff(Channel); break;
    case TLeadStep::Bend: Chip.SetPitch(Channel, Step.Key, Step.Cents); break;
    case TLeadStep::Hold: break;
    }
}

void SetUp(TYm2608Composer& Chip) {
    Chip.Init();
    Chip.SetVoice(Lead, LeadVoice(10));
    Chip.SetVoice(Echo, LeadVoice(24));
    Chip.SetVoice(Bass, BassVoice);
    Chip.SetVoice(PadLow, PadVoice);
    Chip.SetVoice(PadHigh, PadVoice);
    Chip.SetPan(Lead, TPan::Left);
    Chip.SetPan(Echo, TPan::Right);
    Chip.SetPan(Bass, TPan::Centre);
    Chip.SetPan(PadLow, TPan::Left);
    Chip.SetPan(PadHigh, TPan::Right);

    Chip.SsgMixer(0x38); // tone only on A-C

    Chip.RhythmTotalLevel(60);
    Chip.RhythmLevel(0, 31);
    Chip.RhythmLevel(1, 28);
    Chip.RhythmLevel(2, 22, TPan::Right);
    Chip.RhythmLevel(3, 20, TPan::Right);
    Chip.RhythmLevel(4, 26, TPan::Left);
    Chip.RhythmLevel(5, 22);
}

std::vector<std::uint8_t> Build() {
    TS98Builder Log('3');
    Log.Sync(1, 1000).Device(S98YM2608, 7987200);
    TYm2608Composer Chip(Log);
    SetUp(Chip);

    const std::vector<TLeadStep> LeadPart = LeadSteps();
    const std::vector<std::string> Bass16 = Tokens(BassLine);
    for (int b = 0; b <= LastBar; ++b) {
        const TBar& Bar = Score[b];
        const bool Closing = b == LastBar;
        const TGroove& Drums = b % 4 == 1 ? Fill : Groove; // the last bar of each section
        // The lead's carriers: softer in the B section, louder in the last section.
        if (b == BellBar || b == LoudBar) {
            const std::uint8_t Level = b == BellBar ? 14 : 5;
            Chip.SetTotalLevel(Lead, 1, Level);
            Chip.SetTotalLevel(Lead, 3, Level);
        }

        for (int s = 0; s < StepsPerBar; ++s) {
            const int Step = b * StepsPerBar + s;
            const TChord Ch = s < 8 ? Bar.First : Bar.Second;
            const bool HalfStart = s % 8 == 0;

            PlayLead(Chip, Lead, LeadPart[Step]);
            if (Step >= 3) PlayLead(Chip, Echo, LeadPart[Step - 3]);

            // Bass.
            const std::string B = Closing ? (s == 0 ? "0" : s == 12 ? "-" : ".") : Bass16[s];
            if (B == "-")
                Chip.NoteOff(Bass);
            else if (B != ".")
                Chip.NoteOn(Bass, BassRoot(Ch) + std::stoi(B));

            // Pad: third and fifth, struck when the chord changes.
            if (b >= PadBar && HalfStart) {
                const TChord Before = s == 0 ? Score[b - 1].Second : Bar.First;
                const bool Changed = Before.Root != Ch.Root || Before.Minor != Ch.Minor;
                if ((b == PadBar && s == 0) || (Closing && s == 0) || Changed) {
                    Chip.NoteOn(PadLow, PadKey(Third(Ch)));
                    Chip.NoteOn(PadHigh, PadKey(Ch.Root + 7));
                }
            }
            if (Closing && s == 12) {
                Chip.NoteOff(PadLow);
                Chip.NoteOff(PadHigh);
            }

            // SSG arpeggio in eighths, and from the B section a bell on each half bar.
            if (s % 2 == 0 && !(Closing && s > 0)) {
                const int r = ArpeggioRoot(Ch);
                const int Tones[8] = {r,     r + (Ch.Minor ? 3 : 4), r + 7,  r + 12,
                                      r + 7, r + (Ch.Minor ? 3 : 4), r + 12, r + 7};
                Chip.SsgNote(Arpeggio, Tones[s / 2], Closing ? 12 : 11);
            }
            if (Closing && s == 8) Chip.SsgOff(Arpeggio);
            // The bell is struck on each half bar (silenced for an instant, as the SSG
            // has no key) and dies away in steps.
            if (b >= BellBar && s % 2 == 0 && !(Closing && s >= 12)) {
                if (HalfStart) Chip.SsgOff(Bell);
                Chip.SsgNote(Bell, ArpeggioRoot(Ch) + 12, static_cast<std::uint8_t>(12 - s % 8));
            }
            if (Closing && s == 12) Chip.SsgOff(Bell);

            // Rhythm.
            std::uint8_t Hit = 0;
            if (Closing) {
                Hit = s == 0 ? BD | TOP : 0;
            } else {
                if (Drums.Bd[s] == 'x') Hit |= BD;
                if (Drums.Sd[s] == 'x') Hit |= SD;
                if (Drums.Hh[s] == 'x') Hit |= HH;
                if (Drums.Tom[s] == 'x') Hit |= TOM;
                if (s == 0 && b % 4 == 2) Hit |= TOP;
                if (b >= BellBar && b < LoudBar && RimB[s] == 'x') Hit |= RIM;
            }
            Chip.Strike(Hit);

            Chip.Wait(SyncsPerStep);
        }
    }
    for (int Channel : {Lead, Bass, PadLow, PadHigh, Echo})
        Chip.NoteOff(Channel);
    Log.End();
    return Log.Build();
}

} // namespace

int main(int argc, char** argv) {
    const std::string FileName = argc > 1 ? argv[1] : "examples/demo.s98";
    try {
        const std::vector<std::uint8_t> Bytes = Build();
        // Written beside the target and renamed, so a failed run leaves the old file intact.
        const std::string Temporary = FileName + ".tmp";
        std::FILE* F = std::fopen(Temporary.c_str(), "wb");
        bool Written = F && std::fwrite(Bytes.data(), 1, Bytes.size(), F) == Bytes.size();
        if (F) Written = std::fclose(F) == 0 && Written;
        std::error_code Error;
        if (Written) std::filesystem::rename(Temporary, FileName, Error);
        if (!Written || Error) {
            std::filesystem::remove(Temporary, Error);
            std::fprintf(stderr, "varnhold-make-demo: cannot write %s\n", FileName.c_str());
            return 1;
        }
        std::printf("%s: %zu bytes\n", FileName.c_str(), Bytes.size());
    } catch (const std::exception& E) {
        std::fprintf(stderr, "varnhold-make-demo: %s\n", E.what());
        return 1;
    }
    return 0;
}
