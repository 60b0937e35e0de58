#include "sharescale/sharescale.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string normalize(std::string_view table) {
    at::LineReader reader(table);
    at::sharescale::Shares shares;
    at::sharescale::read_values(reader, shares);
    at::MemoryOutputs outputs;
    at::sharescale::write_percentages(shares, outputs);
    EXPECT_EQ(outputs.order(), std::vector<std::string>{"normalized.txt"});
    return outputs.text("normalized.txt");
}

TEST(Sharescale, MultipliesBeforeDividingInSinglePrecision) {
    // 100 x 46 / 49 is 93.8775 this way; dividing first gives 93.8776.
    EXPECT_EQ(normalize("a\t46\nb\t3\n"), "a\t93.8775\nb\t6.12245\n");
    // 100 x 16777000 is rounded to single precision before the division:
    // 99.9999, where a quotient taken in double precision gives 100.
    EXPECT_EQ(normalize("a\t16777000\nb\t8\n"), "a\t99.9999\nb\t4.76843e-05\n");
}

TEST(Sharescale, SumIsAddedRowByRowInSinglePrecision) {
    // At 2^24 a single-precision sum no longer grows by 1: a thousand rows of
    // 1 leave it at 16777216, so a keeps exactly 100 (a double sum: 99.994).
    std::string table = "a\t16777216\n";
    for (int row = 0; row < 1000; ++row) table += "b\t1\n";
    EXPECT_EQ(normalize(table), "a\t100\nb\t5.96046e-06\n");
}

TEST(Sharescale, ZeroSumGivesInfinitiesAndNan) {
    EXPECT_EQ(normalize("up\t5\ndown\t-5\nnone\t0\n"), "down\t-inf\nnone\t-nan\nup\tinf\n");
}

TEST(Sharescale, ValuesConvertAsAtofDoes) {
    // Negative shares stand as they are; text is 0; a further TAB or a CR ends
    // the number; exponent form is read.
    EXPECT_EQ(normalize("a\t-1\nb\t3\r\nc\tmany\nd\t1e0\t7\ne\t  0.5e1x\n"),
              "a\t-12.5\nb\t37.5\nc\t0\nd\t12.5\ne\t62.5\n");
}

TEST(Sharescale, LineWithoutTabIsItsOwnKeyAndValue) {
    EXPECT_EQ(normalize("count\n\r\n8\na\t2\n"), "\r\t0\n8\t80\na\t20\ncount\t0\n");
}

TEST(Sharescale, RepeatedKeyKeepsItsLastValueInOrderOrNot) {
    // Keys in order with a repeat right after itself; then the same with a
    // key out of order later on, which moves the rows read so far into a table.
    EXPECT_EQ(normalize("a\t1\nb\t2\nb\t3\nc\t4\n"), "a\t10\nb\t30\nc\t40\n");
    EXPECT_EQ(normalize("a\t1\nb\t2\nb\t3\nc\t4\na\t5\nd\t5\n"), "a\t25\nb\t15\nc\t20\nd\t25\n");
}

TEST(Sharescale, KeysComeOutInByteOrder) {
    EXPECT_EQ(normalize("alpha\t1\nZeta\t1\n\xc3\xa9\t1\n\t1\n"), "\t25\nZeta\t25\nalpha\t25\n\xc3\xa9\t25\n");
}

}  // namespace
