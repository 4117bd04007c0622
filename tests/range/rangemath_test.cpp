// The volume edit's arithmetic on its own: the step kept as a 32-bit float, x rounded to a
// 32-bit float, the position rounded half to even.
#include "rangemath.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace rangemath;

namespace {

// Positions of a whole range, first note at index iFrom, from end positions pFrom and pTo.
std::vector<int> line(int pFrom, int pTo, int iFrom, int iTo)
{
    const float step = crescendoStep(pFrom, pTo, iFrom, iTo);
    std::vector<int> positions;
    for (int i = iFrom; i <= iTo; ++i)
        positions.push_back(volumePosition(i - iFrom, step, std::int16_t(9 - pFrom)).value());
    return positions;
}

} // namespace

TEST(CrescendoStep, IsTheVolumeChangePerNote)
{
    EXPECT_EQ(crescendoStep(7, 1, 0, 4), 1.5f); // volume 2 to 8 over five notes
    EXPECT_EQ(crescendoStep(1, 7, 0, 4), -1.5f);
    EXPECT_EQ(crescendoStep(8, 0, 3, 11), 1.0f);
    EXPECT_EQ(crescendoStep(4, 4, 0, 9), 0.0f);
    // From after To: a negative divisor, not a failure.
    EXPECT_EQ(crescendoStep(5, 1, 5, 1), -1.0f);
}

TEST(CrescendoStep, IsAFloatFormedInDoublePrecision)
{
    EXPECT_EQ(crescendoStep(8, 7, 0, 6), static_cast<float>(1.0 / 6.0));
    EXPECT_GT(double(crescendoStep(8, 7, 0, 6)), 1.0 / 6.0); // 1/6 as a float rounds up
    EXPECT_EQ(crescendoStep(9, 0, 0, 31), static_cast<float>(9.0 / 31.0));
}

TEST(CrescendoStep, OverOneNoteIsZeroNotADivisionByZero)
{
    for (int p = 0; p <= 9; ++p) {
        EXPECT_EQ(crescendoStep(p, p, 4, 4), 0.0f);
        EXPECT_EQ(volumePosition(0, crescendoStep(p, p, 4, 4), std::int16_t(9 - p)), p);
    }
}

TEST(VolumePosition, RoundsHalfToEven)
{
    struct Case {
        int k;
        float step;
        int start;
        int position;
    } cases[] = {
        { 0, 0.0f, 5, 4 }, // fixed volume 5
        { 0, 0.0f, 1, 8 }, { 0, 0.0f, 9, 0 }, { 1, 0.5f, 2, 6 }, // x = 6.5
        { 1, 0.5f, 3, 6 }, // x = 5.5
        { 1, 1.5f, 2, 6 }, // x = 5.5
        { 3, 1.5f, 2, 2 }, // x = 2.5
        { 1, -1.5f, 8, 2 }, // x = 2.5
        { 3, -1.5f, 8, 6 }, // x = 5.5
        { 1, 0.4f, 2, 7 }, // x = 6.6
        { 1, 0.6f, 2, 6 }, // x = 6.4
    };
    for (const Case& c : cases)
        EXPECT_EQ(volumePosition(c.k, c.step, std::int16_t(c.start)), c.position)
            << "k " << c.k << " step " << c.step << " start " << c.start;
}

TEST(VolumePosition, XIsRoundedToAFloatBeforeTheInteger)
{
    // Step 1/6 as a float, k = 3, start 1: in double x is 7.49999998..., as a float exactly 7.5,
    // which rounds to the even 8.
    EXPECT_EQ(volumePosition(3, static_cast<float>(1.0 / 6.0), 1), 8);
    EXPECT_EQ(volumePosition(6, static_cast<float>(1.0 / 6.0), 1), 7);
}

TEST(VolumePosition, LinesOverWholeRanges)
{
    EXPECT_EQ(line(7, 1, 0, 4), std::vector<int>({ 7, 6, 4, 2, 1 })); // volumes 2, 3, 5, 7, 8
    EXPECT_EQ(line(1, 7, 0, 4), std::vector<int>({ 1, 2, 4, 6, 7 })); // volumes 8, 7, 5, 3, 2
    EXPECT_EQ(line(8, 0, 10, 18), std::vector<int>({ 8, 7, 6, 5, 4, 3, 2, 1, 0 }));
    EXPECT_EQ(line(3, 3, 0, 5), std::vector<int>(6, 3));
    EXPECT_EQ(line(8, 7, 0, 6), std::vector<int>({ 8, 8, 8, 8, 7, 7, 7 }));
    EXPECT_EQ(line(6, 6, 2, 2), std::vector<int>({ 6 }));
}

TEST(VolumePosition, NothingForAnInfiniteOrNanStep)
{
    EXPECT_EQ(volumePosition(1, std::numeric_limits<float>::quiet_NaN(), 5), std::nullopt);
    EXPECT_EQ(volumePosition(1, std::numeric_limits<float>::infinity(), 5), std::nullopt);
}
