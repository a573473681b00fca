// The MIDI event list's block storage and its sort for nearly ordered lists: indices,
// references and iteration across blocks, and the same order as a library stable sort for
// lists near to and far from order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

#include "smf/SmfU.h"

namespace varnhold {
namespace {

constexpr std::size_t Block = TSmfEventStore::BlockSize;

TEST(EventStore, IndicesIterationAndReferencesAcrossBlocks) {
    TSmfEventStore Store;
    std::vector<TSmfEvent*> Addresses;
    for (std::size_t i = 0; i < 2 * Block + 3; ++i) {
        TSmfEvent E;
        E.Time = static_cast<std::int32_t>(i);
        Addresses.push_back(&Store.emplace_back(E));
    }
    ASSERT_EQ(Store.size(), 2 * Block + 3);
    // Growing never moves an event: every reference handed out stays valid.
    for (std::size_t i = 0; i < Store.size(); ++i) {
        ASSERT_EQ(&Store[i], Addresses[i]);
        ASSERT_EQ(Store[i].Time, static_cast<std::int32_t>(i));
    }
    std::int32_t Expected = 0;
    for (const TSmfEvent& E : static_cast<const TSmfEventStore&>(Store))
        ASSERT_EQ(E.Time, Expected++);
    EXPECT_EQ(Expected, static_cast<std::int32_t>(2 * Block + 3));
    EXPECT_EQ(Store.end() - Store.begin(), static_cast<std::ptrdiff_t>(Store.size()));

    Store.clear();
    EXPECT_TRUE(Store.empty());
    EXPECT_EQ(Store.begin(), Store.end());
    TSmfEvent E;
    E.Time = 7;
    Store.emplace_back(E);
    EXPECT_EQ(Store.front().Time, 7);
}

// Times of a list and the order a stable sort gives it, told by Value = position added.
std::vector<std::int32_t> StableOrder(const std::vector<std::int32_t>& Times) {
    std::vector<std::int32_t> Order(Times.size());
    for (std::size_t i = 0; i < Order.size(); ++i)
        Order[i] = static_cast<std::int32_t>(i);
    std::stable_sort(Order.begin(), Order.end(),
                     [&](std::int32_t A, std::int32_t B) { return Times[A] < Times[B]; });
    return Order;
}

std::vector<std::int32_t> SmfOrder(const std::vector<std::int32_t>& Times) {
    TSmf Smf;
    for (std::size_t i = 0; i < Times.size(); ++i)
        Smf.AddPitchBend(Times[i], 0, static_cast<std::int32_t>(i));
    Smf.SortByTime();
    std::vector<std::int32_t> Order;
    for (const TSmfEvent& E : Smf.Items())
        Order.push_back(E.Value);
    return Order;
}

struct TSortCase {
    const char* Name;
    std::vector<std::int32_t> (*Times)();
};

// Marks of a converter: runs of equal times, now and then a note off one tick ahead of the
// events that follow it, across several blocks.
std::vector<std::int32_t> NearlyOrdered() {
    std::vector<std::int32_t> T;
    for (std::int32_t Tick = 0; T.size() < 3 * Block; ++Tick)
        for (int k = 0; k < 7; ++k)
            T.push_back(k == 3 && Tick % 5 == 0 ? Tick + 1 : Tick);
    return T;
}
// Far from order: descending blocks of equal times, beyond what insertion may move.
std::vector<std::int32_t> Reversed() {
    std::vector<std::int32_t> T;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(Block + 100); ++i)
        T.push_back(50000 - i / 3);
    return T;
}
// In order but for one early event at the very end, which must travel the whole list.
std::vector<std::int32_t> LateEarliest() {
    std::vector<std::int32_t> T;
    for (std::int32_t i = 0; i < 1000; ++i)
        T.push_back(10 + i / 4);
    T.push_back(10);
    T.push_back(0);
    return T;
}
// Negative times among positive ones, near order.
std::vector<std::int32_t> WithNegatives() {
    return {5, 5, -3, 6, 6, -3, 7, 0, 7, -100, 8};
}

void PrintTo(const TSortCase& C, std::ostream* Out) {
    *Out << C.Name;
}

const TSortCase SortCases[] = {
    {"NearlyOrdered", NearlyOrdered},
    {"Reversed", Reversed},
    {"LateEarliest", LateEarliest},
    {"WithNegatives", WithNegatives},
};

class EventSort : public ::testing::TestWithParam<TSortCase> {};

TEST_P(EventSort, SameOrderAsAStableSort) {
    const std::vector<std::int32_t> Times = GetParam().Times();
    EXPECT_EQ(SmfOrder(Times), StableOrder(Times));
}

INSTANTIATE_TEST_SUITE_P(Lists, EventSort, ::testing::ValuesIn(SortCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
} // namespace varnhold
