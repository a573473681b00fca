// The bytes each event writes and the variable-length quantity.
#include "smf/SmfU.h"

#include <gtest/gtest.h>

#include <functional>

namespace varnhold {
namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Written(const TSmf& Smf, const TSmfEvent& Event) {
    TBytes Out{0xAA}; // something before: WriteTo appends
    const std::uint32_t Count = Smf.WriteTo(Event, Out);
    EXPECT_EQ(Count, Out.size() - 1);
    return TBytes(Out.begin() + 1, Out.end());
}

struct TEncodingCase {
    const char* Name;
    std::function<TSmfEvent&(TSmf&)> Add;
    TBytes Bytes;
};

const std::uint8_t ResetBody[] = {0x7F, 0x7F, 0x04, 0x01, 0x00, 0x76};

const TEncodingCase EncodingCases[] = {
    {"note on", [](TSmf& S) -> TSmfEvent& { return S.AddNoteOn(0, 0, 60, 100); }, {0x90, 60, 100}},
    {"note on ch15",
     [](TSmf& S) -> TSmfEvent& { return S.AddNoteOn(0, 15, 1, 127); },
     {0x9F, 1, 127}},
    {"note off", [](TSmf& S) -> TSmfEvent& { return S.AddNoteOff(0, 3, 60); }, {0x83, 0x3C, 0x00}},
    {"program", [](TSmf& S) -> TSmfEvent& { return S.AddProgramChange(0, 9, 80); }, {0xC9, 0x50}},
    {"control",
     [](TSmf& S) -> TSmfEvent& { return S.AddControlChange(0, 2, 11, 90); },
     {0xB2, 11, 90}},
    {"bend centre",
     [](TSmf& S) -> TSmfEvent& { return S.AddPitchBend(0, 0, 64); },
     {0xE0, 0x00, 0x40}},
    {"bend 0", [](TSmf& S) -> TSmfEvent& { return S.AddPitchBend(0, 0, 0); }, {0xE0, 0x00, 0x00}},
    {"bend 127",
     [](TSmf& S) -> TSmfEvent& { return S.AddPitchBend(0, 1, 127); },
     {0xE1, 0x00, 0x7F}},
    {"bend 200 clamps high",
     [](TSmf& S) -> TSmfEvent& { return S.AddPitchBend(0, 0, 200); },
     {0xE0, 0x00, 0x7F}},
    {"bend -5 clamps low",
     [](TSmf& S) -> TSmfEvent& { return S.AddPitchBend(0, 0, -5); },
     {0xE0, 0x00, 0x00}},
    {"tempo 120",
     [](TSmf& S) -> TSmfEvent& { return S.AddTempo(0, 120); },
     {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
    {"tempo 22",
     [](TSmf& S) -> TSmfEvent& { return S.AddTempo(0, 22); },
     {0xFF, 0x51, 0x03, 0x29, 0x9D, 0x68}},
    {"tempo 720",
     [](TSmf& S) -> TSmfEvent& { return S.AddTempo(0, 720); },
     {0xFF, 0x51, 0x03, 0x01, 0x45, 0x85}},
    {"tempo 7",
     [](TSmf& S) -> TSmfEvent& { return S.AddTempo(0, 7); },
     {0xFF, 0x51, 0x03, 0x82, 0xCA, 0x24}},
    {"sysex reset",
     [](TSmf& S) -> TSmfEvent& { return S.AddSysEx(0, ResetBody); },
     {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x76, 0xF7}},
    {"sysex empty", [](TSmf& S) -> TSmfEvent& { return S.AddSysEx(0, {}); }, {0xF0, 0x01, 0xF7}},
};

TEST(SmfEvent, WritesTheExactBytesOfEachKind) {
    for (const auto& C : EncodingCases) {
        SCOPED_TRACE(C.Name);
        TSmf Smf;
        const TSmfEvent& Event = C.Add(Smf);
        EXPECT_EQ(Smf.Count(), 1u);
        EXPECT_EQ(Written(Smf, Event), C.Bytes);
    }
}

TEST(SmfEvent, AddersStoreTheirFieldsUnchanged) {
    TSmf Smf;
    const TSmfEvent& Bend = Smf.AddPitchBend(7, 4, 200);
    EXPECT_EQ(Bend.Time, 7);
    EXPECT_EQ(Bend.Status, 0xE4);
    EXPECT_EQ(Bend.Kind, TSmfEventKind::PitchBendShort);
    EXPECT_EQ(Bend.Value, 200); // clamped only when written

    const TSmfEvent& Tempo = Smf.AddTempo(-3, 120);
    EXPECT_EQ(Tempo.Time, -3);
    EXPECT_EQ(Tempo.Status, 0xF7);
    EXPECT_EQ(Tempo.Data1, 0x51);
    EXPECT_EQ(Tempo.Value, 120);
    EXPECT_EQ(Smf.DirectBytes(Tempo), (TBytes{0x07, 0xA1, 0x20}));

    // A body may hold zero bytes; its length counts, not a terminator.
    const std::uint8_t Body[] = {0x00, 0x41, 0x00};
    const TSmfEvent& SysEx = Smf.AddSysEx(0, Body);
    EXPECT_EQ(SysEx.Status, 0xF0);
    EXPECT_EQ(Smf.DirectBytes(SysEx), (TBytes{0x00, 0x41, 0x00, 0xF7}));

    const TSmfEvent& Off = Smf.AddNoteOff(0, 0, 61);
    EXPECT_EQ(Off.Status, 0x80);
    EXPECT_EQ(Off.Data2, 0);

    // Events keep the order of addition until sorted.
    ASSERT_EQ(Smf.Count(), 4u);
    EXPECT_EQ(Smf[0].Kind, TSmfEventKind::PitchBendShort);
    EXPECT_EQ(Smf[3].Kind, TSmfEventKind::NoteOff);
}

TEST(SmfEvent, VariableLengthQuantityBoundaries) {
    const struct {
        std::uint32_t Value;
        TBytes Bytes;
    } Cases[] = {
        {0, {0x00}},
        {127, {0x7F}},
        {128, {0x81, 0x00}},
        {200, {0x81, 0x48}},
        {300, {0x82, 0x2C}},
        {16383, {0xFF, 0x7F}},
        {16384, {0x81, 0x80, 0x00}},
        {2097151, {0xFF, 0xFF, 0x7F}},
        {2097152, {0x81, 0x80, 0x80, 0x00}},
        {MaxVarLen, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Value);
        TBytes Out{0x55};
        EXPECT_EQ(WriteVarLen(Out, C.Value), C.Bytes.size());
        EXPECT_EQ(TBytes(Out.begin() + 1, Out.end()), C.Bytes);
    }
}

} // namespace
} // namespace varnhold
