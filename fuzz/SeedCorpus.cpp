#include "SeedCorpus.h"

#include <cstdio>

#include "FuzzHarness.h"
#include "S98Builder.h"
#include "Ym2608Composer.h"

namespace varnhold::fuzz {

namespace {

using namespace varnhold::tools;

constexpr std::uint32_t DeviceTypeLimit = 17; // one past the highest known type

TFmVoice Voice(std::uint8_t Algorithm) {
    TFmVoice V;
    V.Algorithm = Algorithm;
    V.Feedback = 5;
    for (int k = 0; k < 4; ++k) {
        V.Operators[k].Multiple = static_cast<std::uint8_t>(1 + k);
        V.Operators[k].TotalLevel = static_cast<std::uint8_t>(k == 3 ? 0 : 30 + 4 * k);
        V.Operators[k].DecayRate = 10;
        V.Operators[k].SustainLevel = 3;
    }
    return V;
}

// The OPN family (YM2203, YM2608, YM2612): two FM voices, a slur, pan, SSG and rhythm.
void PlayOpn(TS98Builder& B, std::uint8_t Device, bool Ssg, bool Rhythm) {
    TYm2608Composer C(B, Device);
    C.Init();
    C.SetVoice(0, Voice(4));
    C.SetVoice(1, Voice(7));
    C.SetPan(0, TPan::Left);
    C.NoteOn(0, 62);
    C.NoteOn(1, 50);
    C.Wait(20);
    C.SetPitch(0, 62, 30);
    C.SetTotalLevel(0, 3, 20);
    C.Wait(10);
    C.SetVoice(0, Voice(2));
    C.NoteOn(0, 65);
    if (Ssg) C.SsgNote(0, 74, 12);
    if (Rhythm) {
        C.RhythmLevel(0, 31);
        C.RhythmLevel(3, 20, TPan::Right);
        C.Strike(1 | 8);
    }
    C.Wait(20);
    C.NoteOff(0);
    C.NoteOff(1);
    if (Ssg) C.SsgOff(0);
    C.Wait(5);
}

// YM2149 / AY-3-8910: tone on A and B, a level change, envelope mode, silence.
void PlayPsg(TS98Builder& B, std::uint8_t D) {
    B.Write(D, 0, 7, 0x3C).Write(D, 0, 0, 0xFE).Write(D, 0, 1, 0x00).Write(D, 0, 8, 0x0F);
    B.Write(D, 0, 2, 0x7F).Write(D, 0, 3, 0x01).Write(D, 0, 9, 0x0A).Wait(20);
    B.Write(D, 0, 0, 0xF0).Write(D, 0, 8, 0x0B).Write(D, 0, 6, 0x10).Wait(10);
    B.Write(D, 0, 9, 0x10).Write(D, 0, 11, 0x20).Write(D, 0, 13, 0x0E).Wait(10);
    B.Write(D, 0, 8, 0x00).Write(D, 0, 9, 0x00).Wait(5);
}

// YM2151: one channel keyed on, a key-code step, a key fraction, key off.
void PlayOpm(TS98Builder& B, std::uint8_t D) {
    B.Write(D, 0, 0x20, 0xC7).Write(D, 0, 0x21, 0x5C);
    for (std::uint8_t r = 0x40; r < 0x60; r += 8)
        B.Write(D, 0, r, 0x01).Write(D, 0, static_cast<std::uint8_t>(r + 0x20), 0x10);
    B.Write(D, 0, 0x28, 0x4A).Write(D, 0, 0x08, 0x78).Write(D, 0, 0x29, 0x3E);
    B.Write(D, 0, 0x08, 0x79).Wait(20);
    B.Write(D, 0, 0x28, 0x4C).Write(D, 0, 0x30, 0x40).Write(D, 0, 0x60, 0x20).Wait(10);
    B.Write(D, 0, 0x08, 0x00).Write(D, 0, 0x08, 0x01).Wait(5);
}

// YM2413: a built-in instrument, the user instrument, then rhythm mode.
void PlayOpll(TS98Builder& B, std::uint8_t D) {
    B.Write(D, 0, 0x30, 0x30).Write(D, 0, 0x10, 0xAC).Write(D, 0, 0x20, 0x18).Wait(20);
    for (std::uint8_t r = 0; r < 8; ++r)
        B.Write(D, 0, r, static_cast<std::uint8_t>(0x21 + 0x11 * r));
    B.Write(D, 0, 0x31, 0x05).Write(D, 0, 0x11, 0x20).Write(D, 0, 0x21, 0x15).Wait(10);
    B.Write(D, 0, 0x20, 0x08).Write(D, 0, 0x36, 0x02).Write(D, 0, 0x0E, 0x3F).Wait(10);
    B.Write(D, 0, 0x0E, 0x20).Write(D, 0, 0x21, 0x05).Wait(5);
}

// SN76489: a tone, a period step, the noise channel, silence.
void PlayDcsg(TS98Builder& B, std::uint8_t D) {
    B.Write(D, 0, 0, 0x8E).Write(D, 0, 0, 0x0F).Write(D, 0, 0, 0x90).Wait(20);
    B.Write(D, 0, 0, 0x84).Write(D, 0, 0, 0xA5).Write(D, 0, 0, 0x09).Write(D, 0, 0, 0xB3);
    B.Write(D, 0, 0, 0xE4).Write(D, 0, 0, 0xF2).Wait(10);
    B.Write(D, 0, 0, 0x9F).Write(D, 0, 0, 0xBF).Write(D, 0, 0, 0xFF).Wait(5);
}

// A few writes for chips whose writes are ignored.
void PlayOther(TS98Builder& B, std::uint8_t D) {
    B.Write(D, 0, 0xA0, 0x44).Write(D, 0, 0xB0, 0x32).Wait(10);
    B.Write(D, 1, 0x05, 0x01).Write(D, 0, 0xB0, 0x12).Wait(5);
}

void Play(TS98Builder& B, std::uint8_t Device, std::uint32_t Type) {
    switch (Type) {
    case S98YM2149:
    case S98AY38910: PlayPsg(B, Device); break;
    case S98YM2203: PlayOpn(B, Device, true, false); break;
    case S98YM2612: PlayOpn(B, Device, false, false); break;
    case S98YM2608: PlayOpn(B, Device, true, true); break;
    case S98YM2151: PlayOpm(B, Device); break;
    case S98YM2413: PlayOpll(B, Device); break;
    case S98SN76489: PlayDcsg(B, Device); break;
    default: PlayOther(B, Device); break;
    }
}

// A version 3 log whose devices play one after the other.
TS98Builder Log(const std::vector<std::uint32_t>& Types) {
    TS98Builder B('3');
    for (std::uint32_t Type : Types)
        B.Device(Type);
    for (std::size_t n = 0; n < Types.size(); ++n)
        Play(B, static_cast<std::uint8_t>(n), Types[n]);
    B.End();
    return B;
}

TSeed Seed(std::string Name, const TS98Builder& B, const TFuzzOptions& Options = {}) {
    TSeed S{std::move(Name), B.Build()};
    const std::vector<std::uint8_t> Trailer = EncodeTrailer(Options);
    S.Bytes.insert(S.Bytes.end(), Trailer.begin(), Trailer.end());
    return S;
}

} // namespace

std::vector<std::uint8_t> ComposeLog(const std::vector<std::uint32_t>& Types) {
    return Log(Types).Build();
}

std::vector<TSeed> MakeSeedCorpus() {
    std::vector<TSeed> Seeds;

    // Every device type alone, used; type 17 stands for every type beyond the table.
    for (std::uint32_t Type = 0; Type <= DeviceTypeLimit; ++Type) {
        char Name[32];
        std::snprintf(Name, sizeof Name, "type%02u", Type);
        Seeds.push_back(Seed(Name, Log({Type})));
    }

    // The known device sets of more than one device, and unknown combinations.
    const struct {
        const char* Name;
        std::vector<std::uint32_t> Types;
    } Sets[] = {
        {"set02-ym2149-ym2151", {S98YM2149, S98YM2151}},
        {"set03-3xym2149", {S98YM2149, S98YM2149, S98YM2149}},
        {"set03-2xym2149", {S98YM2149, S98YM2149}},
        {"set15-ym2413-sn76489", {S98YM2413, S98SN76489}},
        {"set16-ym2612-sn76489", {S98YM2612, S98SN76489}},
        {"set01-ym2608-ym2151", {S98YM2608, S98YM2151}},
        {"set01-2xym2608", {S98YM2608, S98YM2608}},
        {"set01-4xym2149", {S98YM2149, S98YM2149, S98YM2149, S98YM2149}},
        {"set01-ym2203-ym2413-ymf262", {S98YM2203, S98YM2413, S98YMF262}},
    };
    for (const auto& S : Sets)
        Seeds.push_back(Seed(S.Name, Log(S.Types)));

    // Set 0: a device that is never addressed. A record that is never addressed beside a
    // used one, which then makes set 7.
    {
        TS98Builder B('3');
        B.Device(S98YM2608).Wait(10).Wait(300).End();
        Seeds.push_back(Seed("set00-unused", B));
        TS98Builder C('3');
        C.Device(S98YM2608).Device(S98YM2151);
        Play(C, 0, S98YM2608);
        Seeds.push_back(Seed("set07-unused-ym2151", C.End()));
    }

    // Versions 0 to 2 and version 3 without records: the default YM2608.
    for (char Version : {'0', '1', '2', '3'}) {
        TS98Builder B(Version);
        Play(B, 0, S98YM2608);
        Seeds.push_back(Seed(std::string("version") + Version + "-default", B.End()));
    }

    // Version 3 details: an end offset inside the stream, a 1/60 s sync, a long wait count,
    // a stream without its end command.
    {
        TS98Builder B = Log({S98SN76489});
        B.TagOffset(static_cast<std::uint32_t>(B.Build().size() - 4));
        Seeds.push_back(Seed("tagoffset", B));
        TS98Builder C('3');
        C.Sync(1, 60).Device(S98YM2151);
        Play(C, 0, S98YM2151);
        C.Wait(200000);
        Seeds.push_back(Seed("sync60-longwait", C));
    }

    // Option variations on an FM log and on the rhythm sections.
    TFuzzOptions Voices;
    Voices.UseProgramChange = true;
    Voices.DebugMode = true;
    Voices.UseVelocity = true;
    Voices.Resolution = 32;
    Seeds.push_back(Seed("opts-voices-ym2608", Log({S98YM2608}), Voices));
    Seeds.push_back(Seed("opts-voices-ym2151", Log({S98YM2151}), Voices));
    Seeds.push_back(Seed("opts-voices-ym2612", Log({S98YM2612}), Voices));
    Seeds.push_back(Seed("opts-voices-perdevice", Log({S98YM2608, S98YM2151}), Voices));
    TFuzzOptions Plain;
    Plain.UsePitchBend = Plain.UsePitchBendVib = Plain.UsePanpot = false;
    Plain.Resolution = 1024;
    Plain.SeparateOutputDir = true;
    Plain.OlderOutputs = true;
    Seeds.push_back(Seed("opts-plain-ym2413", Log({S98YM2413}), Plain));
    TFuzzOptions Debug;
    Debug.DebugMode = true;
    Debug.OlderOutputs = true;
    Seeds.push_back(Seed("opts-debug-psg", Log({S98AY38910}), Debug));
    Seeds.push_back(Seed("opts-debug-dcsg", Log({S98SN76489}), Debug));
    return Seeds;
}

} // namespace varnhold::fuzz
