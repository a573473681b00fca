#include "LogGen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <system_error>

#include "S98Builder.h"
#include "Sn76489Composer.h"
#include "Ym2151Composer.h"
#include "Ym2608Composer.h"
#include "Ym2612Composer.h"

namespace varnhold::tools {

namespace {

// ---- shared machinery ----

// A small, fully specified generator, so that a seed gives the same log everywhere.
class TRandom {
public:
    explicit TRandom(std::uint64_t Seed) : State(Seed) {}
    std::uint32_t Next() {
        State += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = State;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
    }
    int Below(int N) { return static_cast<int>(Next() % static_cast<std::uint32_t>(N)); }
    bool Chance(int Percent) { return Below(100) < Percent; }
    template <class T, std::size_t N> const T& Pick(const std::array<T, N>& Items) {
        return Items[static_cast<std::size_t>(Below(static_cast<int>(N)))];
    }

private:
    std::uint64_t State;
};

int FloorDiv(int A, int B) {
    return A >= 0 ? A / B : -((-A + B - 1) / B);
}

// A minor key and the chord of the moment, a triad on a scale degree.
class THarmony {
public:
    int Tonic = 2; // D
    int Degree = 0;

    // MIDI key of scale step Step, counted from the tonic of the octave at Base.
    int Key(int Step, int Base) const {
        static constexpr int Minor[7] = {0, 2, 3, 5, 7, 8, 10};
        const int Octave = FloorDiv(Step, 7);
        return Base + Tonic + 12 * Octave + Minor[Step - 7 * Octave];
    }
    int ChordKey(int Tone, int Base) const { return Key(Degree + 2 * Tone, Base); }
    bool IsChordTone(int Step) const {
        const int Offset = ((Step - Degree) % 7 + 7) % 7;
        return Offset == 0 || Offset == 2 || Offset == 4;
    }
    void NextChord(TRandom& Rng) {
        static constexpr int Moves[8] = {0, 3, 4, 5, 6, 2, 4, 5};
        int Next = Moves[Rng.Below(8)];
        if (Next == Degree) Next = (Degree + 3) % 7;
        Degree = Next;
    }
    void Modulate() { Tonic = (Tonic + 5) % 12; }
};

// Syncs waited since the last write; written as one wait just before the next write, as a
// logger merges the idle ticks of a driver.
class TClock {
public:
    void Attach(TS98Builder& Builder) { Out = &Builder; }
    void Flush() {
        if (Pending) Out->Wait(Pending);
        Pending = 0;
    }
    void Tick() { ++Pending; }

private:
    TS98Builder* Out = nullptr;
    std::uint32_t Pending = 0;
};

struct TVibrato {
    double Depth = 0; // cents
    int Period = 160; // frames
    int Every = 3;    // frames between pitch writes
    int Delay = 60;   // frames after the strike
};

double VibratoCents(const TVibrato& V, int Age) {
    return V.Depth * std::sin(2 * std::numbers::pi * (Age - V.Delay) / V.Period);
}

// A melodic FM line: a random walk on the scale, with slides between tied notes and
// vibrato on held ones. The defaults place every song's lead: channel 0, scale steps
// 0..12 from the tonic above middle C, notes of up to four steps.
struct TLine {
    int Channel = 0;
    int Base = 60;          // scale steps count from the tonic at this key
    int Low = 0, High = 12; // range in scale steps
    int MaxLength = 4;      // steps
    int RestPercent = 10;
    int LegatoPercent = 30;
    int SlideFrames = 24;
    TVibrato Vib;

    int Step = 4;
    int Key = 0;
    bool On = false;
    int Age = 0;
    int Remaining = 0;
    bool Sliding = false;
    int SlideFrom = 0;
    int SlideAge = 0;
};

template <class TChip>
void LineStep(TLine& L, TChip& Chip, TClock& Clock, TRandom& Rng, const THarmony& H, bool Strong) {
    if (L.Remaining > 0) {
        --L.Remaining;
        return;
    }
    if (Rng.Chance(L.RestPercent)) {
        if (L.On) {
            Clock.Flush();
            Chip.NoteOff(L.Channel);
            L.On = false;
        }
        L.Remaining = Rng.Below(2);
        return;
    }
    L.Step = std::clamp(L.Step + Rng.Below(5) - 2, L.Low, L.High);
    // Strong steps land on a chord tone.
    for (int Tries = 0; Strong && !H.IsChordTone(L.Step) && Tries < 3; ++Tries)
        L.Step = L.Step < L.High ? L.Step + 1 : L.Step - 1;
    const int Key = H.Key(L.Step, L.Base);
    L.Remaining = Rng.Below(L.MaxLength);
    L.Age = 0;
    Clock.Flush();
    if (L.On && L.SlideFrames > 0 && Key != L.Key && Rng.Chance(L.LegatoPercent)) {
        L.Sliding = true;
        L.SlideFrom = L.Key;
        L.SlideAge = 0;
    } else {
        Chip.NoteOn(L.Channel, Key);
        L.On = true;
        L.Sliding = false;
    }
    L.Key = Key;
}

template <class TChip> void LineFrame(TLine& L, TChip& Chip, TClock& Clock) {
    if (!L.On) return;
    ++L.Age;
    if (L.Sliding) {
        ++L.SlideAge;
        const bool Last = L.SlideAge >= L.SlideFrames;
        if (L.SlideAge % 2 == 0 || Last) {
            const double Left = 1.0 - static_cast<double>(L.SlideAge) / L.SlideFrames;
            Clock.Flush();
            Chip.SetPitch(L.Channel, L.Key, (L.SlideFrom - L.Key) * 100.0 * std::max(Left, 0.0));
        }
        if (Last) L.Sliding = false;
        return;
    }
    if (L.Vib.Depth > 0 && L.Age >= L.Vib.Delay && (L.Age - L.Vib.Delay) % L.Vib.Every == 0) {
        Clock.Flush();
        Chip.SetPitch(L.Channel, L.Key, VibratoCents(L.Vib, L.Age));
    }
}

// A sustained chord tone that swells in on each chord change (carrier levels stepped down)
// and wavers slowly.
struct TPad {
    int Channel = 0;
    int Tone = 0; // 0 root, 1 third, 2 fifth
    int Base = 48;
    std::array<bool, 4> Carriers{false, true, true, true};
    std::uint8_t Soft = 48, Loud = 18; // total levels, 0 loudest
    int SwellFrames = 240;
    TVibrato Vib{.Depth = 8, .Period = 400, .Every = 8, .Delay = 120};

    int Key = 0;
    bool On = false;
    int Age = 0;
};

template <class TChip> void SetCarriers(const TPad& P, TChip& Chip, std::uint8_t Level) {
    for (int k = 0; k < 4; ++k)
        if (P.Carriers[k]) Chip.SetTotalLevel(P.Channel, k, Level);
}

template <class TChip> void PadChord(TPad& P, TChip& Chip, TClock& Clock, const THarmony& H) {
    const int Key = H.ChordKey(P.Tone, P.Base);
    if (P.On && Key == P.Key) return; // a common tone is held over
    Clock.Flush();
    SetCarriers(P, Chip, P.Soft);
    Chip.NoteOn(P.Channel, Key);
    P.Key = Key;
    P.On = true;
    P.Age = 0;
}

template <class TChip> void PadFrame(TPad& P, TChip& Chip, TClock& Clock) {
    if (!P.On) return;
    ++P.Age;
    if (P.Age <= P.SwellFrames && P.Age % 8 == 0) {
        const int Level = P.Soft + (P.Loud - P.Soft) * P.Age / P.SwellFrames;
        Clock.Flush();
        SetCarriers(P, Chip, static_cast<std::uint8_t>(Level));
    } else if (P.Age >= P.Vib.Delay && (P.Age - P.Vib.Delay) % P.Vib.Every == 4) {
        Clock.Flush();
        Chip.SetPitch(P.Channel, P.Key, VibratoCents(P.Vib, P.Age));
    }
}

// FM percussion: a strike whose pitch falls every frame, then a release.
struct TSweep {
    int Channel = 0;
    int SweepFrames = 24;
    double CentsPerFrame = 60;

    int Key = 0;
    bool On = false;
    int Age = 0;
};

template <class TChip> void SweepStrike(TSweep& S, TChip& Chip, TClock& Clock, int Key) {
    Clock.Flush();
    Chip.NoteOn(S.Channel, Key);
    S.Key = Key;
    S.On = true;
    S.Age = 0;
}

template <class TChip> void SweepFrame(TSweep& S, TChip& Chip, TClock& Clock) {
    if (!S.On) return;
    ++S.Age;
    Clock.Flush();
    if (S.Age >= S.SweepFrames) {
        Chip.NoteOff(S.Channel);
        S.On = false;
    } else {
        Chip.SetPitch(S.Channel, S.Key, -S.CentsPerFrame * S.Age);
    }
}

// Semitones above the chord root per step; -1 rest, -2 hold.
constexpr int Hold = -2, Rest = -1;
constexpr std::array<std::array<int, 16>, 4> BassPatterns{{
    {0, Hold, Rest, 0, 12, Hold, 0, Hold, 0, Hold, Rest, 0, 12, Hold, 7, Hold},
    {0, Hold, 0, Hold, 7, Hold, 12, Hold, 0, Hold, 0, 7, 10, Hold, 12, Hold},
    {0, 0, 12, 0, 0, 12, 0, 10, 0, 0, 12, 0, 7, 12, 5, 7},
    {0, Hold, Hold, Hold, Rest, Hold, 0, 0, 7, Hold, Hold, Hold, 5, Hold, 3, Hold},
}};

// Drum rows, "x" strikes.
struct TGroove {
    const char* Kick;
    const char* Snare;
    const char* Hat;
};
constexpr std::array<TGroove, 3> Grooves{{
    {"x.....x.x.....x.", "....x.......x...", "x.x.x.x.x.x.x.x."},
    {"x..x..x...x..x..", "....x.......x..x", "xxxxxxxxxxxxxxxx"},
    {"x.......x.x.....", "....x..x....x...", "x.xxx.xxx.xxx.xx"},
}};

// Lead voices, one per variant: two stacked pairs (algorithm 4) or a chain (0).
TFmVoice LeadVoice(int Variant) {
    const auto Level = static_cast<std::uint8_t>(8 + 3 * (Variant % 4));
    const auto Dt = static_cast<std::uint8_t>(Variant % 8);
    if (Variant % 3 == 2)
        return {0,
                6,
                {FmOp(Dt, 1, 30, 31, 8, 2, 3, 6), FmOp(0, 2, 36, 31, 10, 2, 4, 6),
                 FmOp(3, 1, 28, 31, 9, 2, 3, 7), FmOp(0, 1, Level, 31, 5, 2, 2, 7, 1)}};
    return {4,
            static_cast<std::uint8_t>(4 + Variant % 3),
            {FmOp(0, 1, 32, 31, 10, 2, 3, 6), FmOp(Dt, 1, Level, 31, 6, 2, 2, 7, 1),
             FmOp(7, 2, 40, 31, 12, 3, 4, 6), FmOp(0, 1, Level, 31, 5, 2, 2, 7, 1)}};
}

const TFmVoice BassVoice{0,
                         6,
                         {FmOp(0, 1, 36, 31, 14, 0, 5, 8), FmOp(0, 3, 44, 31, 16, 0, 6, 8),
                          FmOp(0, 1, 28, 31, 12, 2, 4, 8, 1), FmOp(0, 1, 6, 31, 8, 3, 3, 9, 1)}};

const TFmVoice PadVoice{5,
                        3,
                        {FmOp(0, 1, 42, 20, 4, 0, 2, 5), FmOp(3, 1, 20, 16, 2, 0, 1, 5),
                         FmOp(0, 2, 26, 16, 2, 0, 1, 5), FmOp(7, 1, 20, 16, 2, 0, 1, 5)}};

const TFmVoice BrassVoice{2,
                          5,
                          {FmOp(1, 1, 30, 28, 8, 4, 4, 7), FmOp(0, 1, 34, 26, 9, 4, 5, 7),
                           FmOp(2, 1, 26, 24, 8, 3, 3, 7), FmOp(0, 1, 10, 24, 6, 3, 2, 8, 1)}};

const TFmVoice DrumVoice{0,
                         7,
                         {FmOp(0, 1, 20, 31, 18, 10, 8, 10), FmOp(0, 2, 30, 31, 20, 12, 9, 10),
                          FmOp(0, 1, 24, 31, 16, 10, 8, 10), FmOp(0, 1, 4, 31, 14, 12, 10, 12)}};

constexpr std::array<int, 4> ArpeggioTones{0, 1, 2, 3}; // root, third, fifth, octave

int ArpeggioKey(const THarmony& H, int Index, int Base) {
    const int Tone = ArpeggioTones[static_cast<std::size_t>(Index) % ArpeggioTones.size()];
    return Tone == 3 ? H.ChordKey(0, Base + 12) : H.ChordKey(Tone, Base);
}

// The piece's form: a new key and tempo every eight bars, new lead voices every four.
struct TForm {
    int Bar = 0;
    bool Section() const { return Bar > 0 && Bar % 8 == 0; }
    bool NewVoices() const { return Bar > 0 && Bar % 4 == 0; }
    int StepFrames() const {
        static constexpr int Frames[3] = {125, 110, 140};
        return Frames[(Bar / 8) % 3];
    }
};

// What every song keeps from bar to bar, and the moves every bar and the close begin with.
class TSongBase {
protected:
    explicit TSongBase(std::uint32_t Seed) : Rng(Seed) {}

    // The bar's writes go to Out; a new section moves to a new key.
    void BeginBar(TS98Builder& Out) {
        Clock.Attach(Out);
        if (Form.Section()) Harmony.Modulate();
    }
    // The closing writes follow the last bar's wait.
    void BeginClose(TS98Builder& Out) {
        Clock.Attach(Out);
        Clock.Flush();
    }

    TRandom Rng;
    THarmony Harmony;
    TClock Clock;
    TForm Form;
};

// ---- YM2608 ----

class TYm2608Song : private TSongBase {
public:
    explicit TYm2608Song(std::uint32_t Seed) : TSongBase(Seed) {
        Lead = {.RestPercent = 8,
                .LegatoPercent = 35,
                .SlideFrames = 24,
                .Vib = {.Depth = 22, .Period = 170, .Every = 3, .Delay = 50}};
        Counter = {.Channel = 5,
                   .Base = 48,
                   .Low = 2,
                   .High = 12,
                   .MaxLength = 6,
                   .RestPercent = 15,
                   .LegatoPercent = 20,
                   .SlideFrames = 30,
                   .Vib = {.Depth = 16, .Period = 200, .Every = 4, .Delay = 80}};
        PadLow = {.Channel = 2, .Tone = 1, .Base = 48};
        PadHigh = {.Channel = 3, .Tone = 2, .Base = 48};
    }

    void Start(TS98Builder& Out) {
        Clock.Attach(Out);
        TYm2608Composer Chip(Out);
        Chip.Init();
        Chip.SetVoice(Lead.Channel, LeadVoice(0));
        Chip.SetVoice(Counter.Channel, LeadVoice(1));
        Chip.SetVoice(BassChannel, BassVoice);
        Chip.SetVoice(PadLow.Channel, PadVoice);
        Chip.SetVoice(PadHigh.Channel, PadVoice);
        Chip.SetVoice(BrassChannel, BrassVoice);
        Chip.SetPan(Lead.Channel, TPan::Left);
        Chip.SetPan(Counter.Channel, TPan::Right);
        Chip.SetPan(BassChannel, TPan::Centre);
        Chip.SetPan(PadLow.Channel, TPan::Left);
        Chip.SetPan(PadHigh.Channel, TPan::Right);
        Chip.SetPan(BrassChannel, TPan::Centre);
        Chip.SsgMixer(ToneOnly);
        Chip.RhythmTotalLevel(58);
        for (int i = 0; i < 6; ++i)
            Chip.RhythmLevel(i, static_cast<std::uint8_t>(20 + 2 * i),
                             i % 3 == 0   ? TPan::Centre
                             : i % 3 == 1 ? TPan::Left
                                          : TPan::Right);
    }

    void RenderBar(TS98Builder& Out) {
        BeginBar(Out);
        TYm2608Composer Chip(Out);
        if (Form.NewVoices()) {
            Clock.Flush();
            Chip.SetVoice(Lead.Channel, LeadVoice(Form.Bar / 4));
            Chip.SetVoice(Counter.Channel, LeadVoice(Form.Bar / 4 + 5));
            Chip.RhythmLevel(0, static_cast<std::uint8_t>(24 + Rng.Below(8)));
        }
        const auto& Bass = Rng.Pick(BassPatterns);
        const TGroove& Groove = Rng.Pick(Grooves);
        const int StepFrames = Form.StepFrames();
        for (int s = 0; s < 16; ++s) {
            if (s % 8 == 0) {
                Harmony.NextChord(Rng);
                PadChord(PadLow, Chip, Clock, Harmony);
                PadChord(PadHigh, Chip, Clock, Harmony);
            }
            LineStep(Lead, Chip, Clock, Rng, Harmony, s % 4 == 0);
            LineStep(Counter, Chip, Clock, Rng, Harmony, s % 8 == 0);
            BassStep(Chip, Bass[static_cast<std::size_t>(s)]);
            BrassStep(Chip, s);
            SsgStep(Chip, s);
            RhythmStep(Chip, Groove, s);
            for (int f = 0; f < StepFrames; ++f) {
                LineFrame(Lead, Chip, Clock);
                LineFrame(Counter, Chip, Clock);
                PadFrame(PadLow, Chip, Clock);
                PadFrame(PadHigh, Chip, Clock);
                SsgFrame(Chip, StepFrames);
                Clock.Tick();
            }
        }
        ++Form.Bar;
    }

    void Finish(TS98Builder& Out) {
        BeginClose(Out);
        TYm2608Composer Chip(Out);
        Chip.AllNotesOff();
        for (int Channel = 0; Channel < 3; ++Channel)
            Chip.SsgOff(Channel);
        Out.Wait(1);
    }

private:
    static constexpr int BassChannel = 1, BrassChannel = 4;
    static constexpr std::uint8_t ToneOnly = 0x38, NoiseOnC = 0x1C;
    static constexpr int Arpeggio = 0, Bell = 1, Noise = 2;

    TLine Lead, Counter;
    TPad PadLow, PadHigh;
    bool BassOn = false, BrassOn = false;
    int ArpIndex = 0, ArpAge = 0, ArpLevel = 0;
    int BellKey = 0, BellAge = 0;
    bool BellOn = false;
    int NoiseLevel = 0, NoiseAge = 0;

    void BassStep(TYm2608Composer& Chip, int Pattern) {
        if (Pattern == Hold) return;
        Clock.Flush();
        if (Pattern == Rest) {
            if (BassOn) Chip.NoteOff(BassChannel);
            BassOn = false;
            return;
        }
        Chip.NoteOn(BassChannel, Harmony.ChordKey(0, 36) + Pattern);
        BassOn = true;
    }

    void BrassStep(TYm2608Composer& Chip, int s) {
        if (BrassOn) {
            Clock.Flush();
            Chip.NoteOff(BrassChannel);
            BrassOn = false;
        }
        if (s % 4 == 2 && Rng.Chance(60)) {
            Clock.Flush();
            Chip.NoteOn(BrassChannel, Harmony.ChordKey(Rng.Below(3), 60));
            BrassOn = true;
        }
    }

    void SsgStep(TYm2608Composer& Chip, int s) {
        // The bell strikes on each half bar in every other section.
        if (s % 8 == 0 && (Form.Bar / 2) % 2 == 1) {
            Clock.Flush();
            BellKey = Harmony.ChordKey(Rng.Below(3), 84);
            Chip.SsgNote(Bell, BellKey, 12);
            BellOn = true;
            BellAge = 0;
        }
        if (s % 8 == 4 && Rng.Chance(80)) {
            // An SSG snare: noise on channel C for a moment.
            Clock.Flush();
            Chip.SsgMixer(NoiseOnC);
            Chip.Write(0, 0x06, static_cast<std::uint8_t>(4 + Rng.Below(8)));
            NoiseLevel = 14;
            NoiseAge = 0;
            Chip.Write(0, 0x08 + Noise, static_cast<std::uint8_t>(NoiseLevel));
        }
    }

    void SsgPitch(TYm2608Composer& Chip, int Channel, int Key, double Cents) {
        const double Hz = TYm2608Composer::KeyFrequency(Key, Cents);
        const long Period =
            std::clamp(std::lround(TYm2608Composer::DefaultClock / (64.0 * Hz)), 1L, 4095L);
        Chip.Write(0, static_cast<std::uint8_t>(2 * Channel), static_cast<std::uint8_t>(Period));
        Chip.Write(0, static_cast<std::uint8_t>(2 * Channel + 1),
                   static_cast<std::uint8_t>(Period >> 8));
    }

    void SsgFrame(TYm2608Composer& Chip, int StepFrames) {
        // A fast arpeggio over the chord, four notes per step, each decaying.
        if (ArpAge % (StepFrames / 4) == 0) {
            Clock.Flush();
            ArpLevel = 13;
            Chip.SsgNote(Arpeggio, ArpeggioKey(Harmony, ArpIndex++, 72),
                         static_cast<std::uint8_t>(ArpLevel));
        } else if (ArpAge % 6 == 0 && ArpLevel > 7) {
            Clock.Flush();
            Chip.Write(0, 0x08 + Arpeggio, static_cast<std::uint8_t>(--ArpLevel));
        }
        ++ArpAge;

        if (BellOn) {
            ++BellAge;
            if (BellAge > 40 && BellAge % 4 == 0) {
                Clock.Flush();
                SsgPitch(Chip, Bell, BellKey, 14 * std::sin(BellAge / 30.0));
            }
            if (BellAge % 50 == 0) {
                const int Level = 12 - BellAge / 50;
                Clock.Flush();
                if (Level <= 4) {
                    Chip.SsgOff(Bell);
                    BellOn = false;
                } else {
                    Chip.Write(0, 0x08 + Bell, static_cast<std::uint8_t>(Level));
                }
            }
        }

        if (NoiseLevel > 0 && ++NoiseAge % 5 == 0) {
            Clock.Flush();
            if (--NoiseLevel <= 6) {
                NoiseLevel = 0;
                Chip.SsgOff(Noise);
                Chip.SsgMixer(ToneOnly);
            } else {
                Chip.Write(0, 0x08 + Noise, static_cast<std::uint8_t>(NoiseLevel));
            }
        }
    }

    void RhythmStep(TYm2608Composer& Chip, const TGroove& Groove, int s) {
        enum : std::uint8_t { BD = 1, SD = 2, TOP = 4, HH = 8, TOM = 16, RIM = 32 };
        std::uint8_t Hit = 0;
        if (Groove.Kick[s] == 'x') Hit |= BD;
        if (Groove.Snare[s] == 'x') Hit |= SD;
        if (Groove.Hat[s] == 'x' && Rng.Chance(90)) Hit |= HH;
        if (s == 0 && Form.Bar % 4 == 0) Hit |= TOP;
        if (Form.Bar % 4 == 3 && s >= 12 && Rng.Chance(70)) Hit |= TOM;
        if (Rng.Chance(8)) Hit |= RIM;
        if (!Hit) return;
        Clock.Flush();
        Chip.Strike(Hit);
    }
};

// ---- YM2151 ----

class TYm2151Song : private TSongBase {
public:
    explicit TYm2151Song(std::uint32_t Seed) : TSongBase(Seed) {
        Lead = {.RestPercent = 6,
                .LegatoPercent = 40,
                .SlideFrames = 20,
                .Vib = {.Depth = 25, .Period = 150, .Every = 2, .Delay = 45}};
        Counter = {.Channel = 1,
                   .Base = 60,
                   .Low = -5,
                   .High = 5,
                   .MaxLength = 6,
                   .RestPercent = 12,
                   .LegatoPercent = 25,
                   .SlideFrames = 28,
                   .Vib = {.Depth = 18, .Period = 190, .Every = 4, .Delay = 70}};
        Pads = {TPad{.Channel = 3, .Tone = 0, .Base = 48},
                TPad{.Channel = 4, .Tone = 1, .Base = 48},
                TPad{.Channel = 5, .Tone = 2, .Base = 48}};
        for (TPad& P : Pads)
            P.Vib = {.Depth = 10, .Period = 360, .Every = 6, .Delay = 100};
        Drum.Channel = 7;
    }

    void Start(TS98Builder& Out) {
        Clock.Attach(Out);
        TYm2151Composer Chip(Out);
        Chip.Init();
        Chip.SetVoice(Lead.Channel, LeadVoice(0), TPan::Left);
        Chip.SetVoice(Counter.Channel, LeadVoice(2), TPan::Right);
        Chip.SetVoice(BassChannel, BassVoice);
        for (const TPad& P : Pads)
            Chip.SetVoice(P.Channel, PadVoice,
                          P.Tone == 0   ? TPan::Centre
                          : P.Tone == 1 ? TPan::Left
                                        : TPan::Right);
        Chip.SetVoice(ArpChannel, BrassVoice);
        Chip.SetVoice(Drum.Channel, DrumVoice);
    }

    void RenderBar(TS98Builder& Out) {
        BeginBar(Out);
        TYm2151Composer Chip(Out);
        if (Form.NewVoices()) {
            Clock.Flush();
            Chip.SetVoice(Lead.Channel, LeadVoice(Form.Bar / 4), TPan::Left);
            Chip.SetVoice(Counter.Channel, LeadVoice(Form.Bar / 4 + 3), TPan::Right);
        }
        const auto& Bass = Rng.Pick(BassPatterns);
        const TGroove& Groove = Rng.Pick(Grooves);
        const int StepFrames = Form.StepFrames();
        for (int s = 0; s < 16; ++s) {
            if (s % 8 == 0) {
                Harmony.NextChord(Rng);
                for (TPad& P : Pads)
                    PadChord(P, Chip, Clock, Harmony);
                Clock.Flush();
                Chip.NoteOn(ArpChannel, ArpeggioKey(Harmony, 0, 72));
                ArpIndex = 1;
            }
            LineStep(Lead, Chip, Clock, Rng, Harmony, s % 4 == 0);
            LineStep(Counter, Chip, Clock, Rng, Harmony, s % 8 == 0);
            const int Pattern = Bass[static_cast<std::size_t>(s)];
            if (Pattern != Hold) {
                Clock.Flush();
                if (Pattern == Rest)
                    Chip.NoteOff(BassChannel);
                else
                    Chip.NoteOn(BassChannel, Harmony.ChordKey(0, 36) + Pattern);
            }
            if (Groove.Kick[s] == 'x') SweepStrike(Drum, Chip, Clock, 48);
            if (Groove.Snare[s] == 'x') SweepStrike(Drum, Chip, Clock, 62);
            for (int f = 0; f < StepFrames; ++f) {
                LineFrame(Lead, Chip, Clock);
                LineFrame(Counter, Chip, Clock);
                for (TPad& P : Pads)
                    PadFrame(P, Chip, Clock);
                SweepFrame(Drum, Chip, Clock);
                // The arpeggio moves the pitch only, as a driver's key table does.
                if (f % (StepFrames / 4) == StepFrames / 8) {
                    Clock.Flush();
                    Chip.SetPitch(ArpChannel, ArpeggioKey(Harmony, ArpIndex++, 72));
                }
                Clock.Tick();
            }
        }
        ++Form.Bar;
    }

    void Finish(TS98Builder& Out) {
        BeginClose(Out);
        TYm2151Composer Chip(Out);
        for (int Channel = 0; Channel < 8; ++Channel)
            Chip.NoteOff(Channel);
        Out.Wait(1);
    }

private:
    static constexpr int BassChannel = 2, ArpChannel = 6;

    TLine Lead, Counter;
    std::array<TPad, 3> Pads;
    TSweep Drum;
    int ArpIndex = 0;
};

// ---- YM2612 + SN76489 ----

class TYm2612Sn76489Song : private TSongBase {
public:
    explicit TYm2612Sn76489Song(std::uint32_t Seed) : TSongBase(Seed) {
        Lead = {.RestPercent = 8,
                .LegatoPercent = 35,
                .SlideFrames = 22,
                .Vib = {.Depth = 20, .Period = 160, .Every = 3, .Delay = 55}};
        PadLow = {.Channel = 2, .Tone = 0, .Base = 48};
        PadHigh = {.Channel = 3, .Tone = 1, .Base = 48};
        Drum.Channel = 5;
        Drum.CentsPerFrame = 45;
    }

    void Start(TS98Builder& Out) {
        Clock.Attach(Out);
        TYm2612Composer Fm(Out, 0);
        TSn76489Composer Psg(Out, 1);
        Fm.Init();
        Psg.Init();
        Fm.SetVoice(Lead.Channel, LeadVoice(0));
        Fm.SetVoice(BassChannel, BassVoice);
        Fm.SetVoice(PadLow.Channel, PadVoice);
        Fm.SetVoice(PadHigh.Channel, PadVoice);
        Fm.SetVoice(BrassChannel, BrassVoice);
        Fm.SetVoice(Drum.Channel, DrumVoice);
        for (int Channel = 0; Channel < 6; ++Channel)
            Fm.SetPan(Channel, Channel == 2   ? TPan::Left
                               : Channel == 3 ? TPan::Right
                                              : TPan::Centre);
    }

    void RenderBar(TS98Builder& Out) {
        BeginBar(Out);
        TYm2612Composer Fm(Out, 0);
        TSn76489Composer Psg(Out, 1);
        if (Form.NewVoices()) {
            Clock.Flush();
            Fm.SetVoice(Lead.Channel, LeadVoice(Form.Bar / 4 + 1));
        }
        const auto& Bass = Rng.Pick(BassPatterns);
        const TGroove& Groove = Rng.Pick(Grooves);
        const int StepFrames = Form.StepFrames();
        for (int s = 0; s < 16; ++s) {
            if (s % 8 == 0) {
                Harmony.NextChord(Rng);
                PadChord(PadLow, Fm, Clock, Harmony);
                PadChord(PadHigh, Fm, Clock, Harmony);
            }
            LineStep(Lead, Fm, Clock, Rng, Harmony, s % 4 == 0);
            EchoHistory[static_cast<std::size_t>(s % 4)] = Lead.On ? Lead.Key : 0;
            const int Pattern = Bass[static_cast<std::size_t>(s)];
            if (Pattern != Hold) {
                Clock.Flush();
                if (Pattern == Rest) {
                    Fm.NoteOff(BassChannel);
                    Psg.Attenuation(PsgBass, 15);
                } else {
                    const int Key = Harmony.ChordKey(0, 36) + Pattern;
                    Fm.NoteOn(BassChannel, Key);
                    Psg.Tone(PsgBass, Key + 12);
                    Psg.Attenuation(PsgBass, 6);
                }
            }
            if (s % 4 == 2 && Rng.Chance(50)) {
                Clock.Flush();
                Fm.NoteOn(BrassChannel, Harmony.ChordKey(Rng.Below(3), 60));
            } else if (s % 4 == 3) {
                Clock.Flush();
                Fm.NoteOff(BrassChannel);
            }
            if (Groove.Kick[s] == 'x') SweepStrike(Drum, Fm, Clock, 45);
            if (Groove.Snare[s] == 'x') SweepStrike(Drum, Fm, Clock, 60);
            // The echo repeats the lead two steps late, a little softer.
            EchoKey = EchoHistory[static_cast<std::size_t>((s + 2) % 4)];
            EchoAge = 0;
            if (Groove.Hat[s] == 'x') {
                Clock.Flush();
                Psg.Noise(static_cast<std::uint8_t>(4 | Rng.Below(3)));
                HatLevel = 2;
                Psg.Attenuation(NoiseChannel, static_cast<std::uint8_t>(HatLevel));
            }
            for (int f = 0; f < StepFrames; ++f) {
                LineFrame(Lead, Fm, Clock);
                PadFrame(PadLow, Fm, Clock);
                PadFrame(PadHigh, Fm, Clock);
                SweepFrame(Drum, Fm, Clock);
                PsgFrame(Psg, f, StepFrames);
                Clock.Tick();
            }
        }
        ++Form.Bar;
    }

    void Finish(TS98Builder& Out) {
        BeginClose(Out);
        TYm2612Composer Fm(Out, 0);
        TSn76489Composer Psg(Out, 1);
        Fm.AllNotesOff();
        Psg.Init();
        Out.Wait(1);
    }

private:
    static constexpr int BassChannel = 1, BrassChannel = 4;
    static constexpr int PsgArpeggio = 0, PsgEcho = 1, PsgBass = 2, NoiseChannel = 3;

    TLine Lead;
    TPad PadLow, PadHigh;
    TSweep Drum;
    int ArpIndex = 0, ArpLevel = 15;
    std::array<int, 4> EchoHistory{};
    int EchoKey = 0, EchoAge = 0;
    int HatLevel = 15;

    void PsgFrame(TSn76489Composer& Psg, int f, int StepFrames) {
        // Arpeggio: four notes per step with a software decay every three frames.
        if (f % (StepFrames / 4) == 0) {
            Clock.Flush();
            Psg.Tone(PsgArpeggio, ArpeggioKey(Harmony, ArpIndex++, 72));
            ArpLevel = 3;
            Psg.Attenuation(PsgArpeggio, static_cast<std::uint8_t>(ArpLevel));
        } else if (f % 3 == 0 && ArpLevel < 11) {
            Clock.Flush();
            Psg.Attenuation(PsgArpeggio, static_cast<std::uint8_t>(++ArpLevel));
        }
        // Echo: struck at the step, then a vibrato of period writes.
        if (EchoKey != 0) {
            if (EchoAge == 0) {
                Clock.Flush();
                Psg.Tone(PsgEcho, EchoKey);
                Psg.Attenuation(PsgEcho, 5);
            } else if (EchoAge > 30 && EchoAge % 4 == 0) {
                Clock.Flush();
                Psg.Tone(PsgEcho, EchoKey, 18 * std::sin(EchoAge / 25.0));
            }
        } else if (EchoAge == 0) {
            Clock.Flush();
            Psg.Attenuation(PsgEcho, 15);
        }
        ++EchoAge;
        // Hi-hats die away fast.
        if (HatLevel < 15 && f % 2 == 1) {
            Clock.Flush();
            HatLevel = std::min(HatLevel + 2, 15);
            Psg.Attenuation(NoiseChannel, static_cast<std::uint8_t>(HatLevel));
        }
    }
};

// ---- assembly ----

// The song's bytes after the builder's own 32-byte header.
void PassStream(const TS98Builder& Chunk, const TByteSink& Sink, std::uint64_t& Size) {
    const std::vector<std::uint8_t> Bytes = Chunk.Build();
    const std::size_t Skip = Chunk.DefaultDumpOffset();
    Sink(Bytes.data() + Skip, Bytes.size() - Skip);
    Size += Bytes.size() - Skip;
}

template <class TSong>
std::uint64_t Compose(TSong& Song, const TS98Builder& Header, std::uint64_t MinBytes,
                      const TByteSink& Sink) {
    const std::vector<std::uint8_t> Head = Header.Build();
    Sink(Head.data(), Head.size());
    std::uint64_t Size = Head.size();
    // The closing writes and the end command take a few dozen bytes at most.
    constexpr std::uint64_t Closing = 64;
    bool First = true;
    do {
        TS98Builder Chunk;
        if (First) Song.Start(Chunk);
        First = false;
        Song.RenderBar(Chunk);
        PassStream(Chunk, Sink, Size);
    } while (Size + Closing < MinBytes);
    TS98Builder Tail;
    Song.Finish(Tail);
    Tail.End();
    PassStream(Tail, Sink, Size);
    return Size;
}

} // namespace

const char* LogFamilyName(TLogFamily Family) {
    switch (Family) {
    case TLogFamily::Ym2608: return "ym2608";
    case TLogFamily::Ym2151: return "ym2151";
    case TLogFamily::Ym2612Sn76489: return "ym2612sn";
    }
    return "?";
}

std::optional<TLogFamily> LogFamilyByName(std::string_view Name) {
    for (TLogFamily Family : AllLogFamilies)
        if (Name == LogFamilyName(Family)) return Family;
    return std::nullopt;
}

std::uint64_t ComposeLog(TLogFamily Family, std::uint64_t MinBytes, std::uint32_t Seed,
                         const TByteSink& Sink) {
    TS98Builder Header('3');
    Header.Sync(1, 1000);
    switch (Family) {
    case TLogFamily::Ym2608: {
        Header.Device(S98YM2608, static_cast<std::uint32_t>(TYm2608Composer::DefaultClock));
        TYm2608Song Song(Seed);
        return Compose(Song, Header, MinBytes, Sink);
    }
    case TLogFamily::Ym2151: {
        Header.Device(S98YM2151, static_cast<std::uint32_t>(TYm2151Composer::DefaultClock));
        TYm2151Song Song(Seed);
        return Compose(Song, Header, MinBytes, Sink);
    }
    case TLogFamily::Ym2612Sn76489: {
        Header.Device(S98YM2612, static_cast<std::uint32_t>(TYm2612Composer::DefaultClock))
            .Device(S98SN76489, static_cast<std::uint32_t>(TSn76489Composer::DefaultClock));
        TYm2612Sn76489Song Song(Seed);
        return Compose(Song, Header, MinBytes, Sink);
    }
    }
    throw std::invalid_argument("unknown log family");
}

std::vector<std::uint8_t> BuildLog(TLogFamily Family, std::uint64_t MinBytes, std::uint32_t Seed) {
    std::vector<std::uint8_t> Bytes;
    Bytes.reserve(static_cast<std::size_t>(MinBytes) + 64 * 1024);
    ComposeLog(Family, MinBytes, Seed, [&Bytes](const std::uint8_t* Data, std::size_t Count) {
        Bytes.insert(Bytes.end(), Data, Data + Count);
    });
    return Bytes;
}

std::uint64_t SaveLog(TLogFamily Family, std::uint64_t MinBytes, const std::string& FileName,
                      std::uint32_t Seed) {
    const std::string Temporary = FileName + ".tmp";
    std::FILE* F = std::fopen(Temporary.c_str(), "wb");
    if (!F) throw std::runtime_error("cannot create " + Temporary);
    bool Written = true;
    std::uint64_t Size = 0;
    try {
        Size = ComposeLog(Family, MinBytes, Seed, [&](const std::uint8_t* Data, std::size_t Count) {
            Written = Written && std::fwrite(Data, 1, Count, F) == Count;
        });
    } catch (...) {
        std::fclose(F);
        std::remove(Temporary.c_str());
        throw;
    }
    Written = std::fclose(F) == 0 && Written;
    std::error_code Error;
    if (Written) std::filesystem::rename(Temporary, FileName, Error);
    if (!Written || Error) {
        std::filesystem::remove(Temporary, Error);
        throw std::runtime_error("cannot write " + FileName);
    }
    return Size;
}

} // namespace varnhold::tools
