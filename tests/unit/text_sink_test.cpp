#include "common/text_sink.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

std::string real(float value) {
    std::string out;
    at::append_real(out, value);
    return out;
}

TEST(NumberFormat, FractionalValuesAsPercentGWithSixDigits) {
    EXPECT_EQ(real(12.5f), "12.5");
    EXPECT_EQ(real(100.0f / 3.0f), "33.3333");
    EXPECT_EQ(real(1e6f), "1e+06");
    EXPECT_EQ(real(123456.0f), "123456");
    EXPECT_EQ(real(1234567.0f), "1.23457e+06");
    EXPECT_EQ(real(0.0001f), "0.0001");
    EXPECT_EQ(real(0.00001f), "1e-05");
    EXPECT_EQ(real(0.0f), "0");
    EXPECT_EQ(real(-0.0f), "-0");
    EXPECT_EQ(real(16.597166f), "16.5972");
    EXPECT_EQ(real(29.191f), "29.191");
}

TEST(NumberFormat, InfinitiesAndNaNsKeepTheirSign) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(real(inf), "inf");
    EXPECT_EQ(real(-inf), "-inf");
    const float zero = 0.0f;
    volatile float numerator = 0.0f;
    EXPECT_EQ(real(numerator / zero), "-nan");  // x86-64 division sets the sign bit
    EXPECT_EQ(real(std::fabs(numerator / zero)), "nan");
}

TEST(NumberFormat, SinglePrecisionValuesMatchPrintfOfTheWidenedDouble) {
    // Exact halves at the sixth digit round to even, as printf rounds; the
    // ends of the range of plain percentages, and values that round up to
    // the next power of ten.
    for (float value : {1.0f / 7.0f, 3.4028235e38f, 1.17549435e-38f, 1.4e-45f, 999999.5f, 0.1f, -2.5e-7f,
                        123456.5f, 123457.5f, 100000.5f, -999998.5f, 9.999995e-5f, 0.000099999997f, 1e-10f,
                        9.9999994e-11f, 999999.94f, 0.00001f, 99999.95f, 9.999999f}) {
        char want[64];
        std::snprintf(want, sizeof want, "%g", static_cast<double>(value));
        EXPECT_EQ(real(value), want);
    }
}

TEST(NumberFormat, WholeNumbersInPlainDecimal) {
    std::string out;
    at::append_whole(out, 0);
    out += ' ';
    at::append_whole(out, -1);
    out += ' ';
    at::append_whole(out, std::numeric_limits<std::int64_t>::min());
    out += ' ';
    at::append_whole(out, 4294967296);
    EXPECT_EQ(out, "0 -1 -9223372036854775808 4294967296");

    // Every length, at and around each power of ten, both signs, and the
    // ends of the range, against printf.
    std::vector<std::int64_t> values = {std::numeric_limits<std::int64_t>::max(),
                                        std::numeric_limits<std::int64_t>::min() + 1};
    for (int exponent = 0; exponent <= 18; ++exponent) {
        std::int64_t power = 1;
        for (int i = 0; i < exponent; ++i) power *= 10;
        for (std::int64_t near : {power - 1, power, power + 1, 2 * power + 7, power + power / 2}) {
            values.push_back(near);
            values.push_back(-near);
        }
    }
    for (std::int64_t value = -1000; value <= 100000; ++value) values.push_back(value);
    for (const std::int64_t value : values) {
        char want[32];
        std::snprintf(want, sizeof want, "%lld", static_cast<long long>(value));
        std::string got;
        at::append_whole(got, value);
        ASSERT_EQ(got, want);
    }
}

TEST(TextSink, RowsAreKeyTabValueNewline) {
    at::MemorySink sink;
    sink.row("Firmicutes", std::int64_t{2});
    sink.row("", 0.5f);
    sink.row("unassigned", std::int64_t{-1});
    EXPECT_EQ(sink.text(), "Firmicutes\t2\n\t0.5\nunassigned\t-1\n");
}

TEST(TextSink, KeepsEveryByteAsItsBufferGrows) {
    // Rows, numbers, single bytes and texts after text already written, each
    // larger than all before it: the buffer grows from nothing and from
    // partly full, each time past double its size, and must keep all it held.
    for (std::size_t length = 1; length < 400000; length = length * 3 + 1) {
        at::MemorySink sink;
        const std::string start(length, 's');
        const std::string key(3 * length, static_cast<char>('a' + length % 26));
        std::string expected = start + key + '\t';
        sink.write(start);
        sink.row(key, static_cast<std::int64_t>(length));
        at::append_whole(expected, static_cast<std::int64_t>(length));
        expected += '\n';
        sink.row(-static_cast<std::int64_t>(length), 1.0f / static_cast<float>(length));
        at::append_whole(expected, -static_cast<std::int64_t>(length));
        expected += '\t';
        at::append_real(expected, 1.0f / static_cast<float>(length));
        expected += '\n';
        sink.put(';');
        sink.whole(static_cast<std::int64_t>(length) * 1000000007);
        sink.real(static_cast<float>(length) / 7.0f);
        sink.write(std::string(9 * length, 'w'));
        expected += ';';
        at::append_whole(expected, static_cast<std::int64_t>(length) * 1000000007);
        at::append_real(expected, static_cast<float>(length) / 7.0f);
        expected += std::string(9 * length, 'w');
        ASSERT_EQ(sink.text(), expected) << length;
        ASSERT_EQ(sink.release(), expected) << length;
        EXPECT_EQ(sink.text(), "");
        sink.row("again", std::int64_t{1});
        EXPECT_EQ(sink.text(), "again\t1\n");
    }
}

}  // namespace

namespace {

TEST(NumberFormat, PercentageRangeMatchesPrintf) {
    // Floats from about 1e-11 to 2e6, where tables' percentages and shares
    // lie, each against %g.
    std::uint64_t state = 7;
    for (int i = 0; i < 300000; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const auto draw = static_cast<std::uint32_t>(state >> 32);
        const std::uint32_t biased = 90 + (draw >> 9) % 59;  // 2^-37 to 2^21
        const std::uint32_t bits = (draw & 0x80000000u) | (biased << 23) | ((draw * 2654435761u) & 0x7fffffu);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        char want[64];
        std::snprintf(want, sizeof want, "%g", static_cast<double>(value));
        ASSERT_EQ(real(value), want) << "bits " << bits;
    }
}

TEST(NumberFormat, EveryKindOfFloatMatchesPrintf) {
    // Random bit patterns cover every exponent, subnormals, infinities and
    // NaNs of both signs; the fast writer must agree with %g on each.
    std::uint64_t state = 99;
    for (int i = 0; i < 300000; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const auto bits = static_cast<std::uint32_t>(state >> 32);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        char want[64];
        std::snprintf(want, sizeof want, "%g", static_cast<double>(value));
        ASSERT_EQ(real(value), want) << "bits " << bits;
    }
    // Values near the switch between fixed and exponent form, and near the
    // rounding of the sixth digit.
    for (float value : {999999.0f, 999999.5f, 1000000.0f, 0.0001f, 0.000099999f, 9.999995f, 99999.95f,
                        0.00001f, 123456.5f, 2.5f, 0.5f}) {
        char want[64];
        std::snprintf(want, sizeof want, "%g", static_cast<double>(value));
        EXPECT_EQ(real(value), want);
    }
}

}  // namespace

namespace {

TEST(NumberFormat, FloatsAroundEveryPowerOfTenMatchPrintf) {
    // Where the decimal exponent steps up inside a binary one, and where
    // rounding carries into the next power: 64 floats either side of each
    // power of ten of the range written in integer arithmetic, both signs.
    for (int power = -11; power <= 7; ++power) {
        const float center = std::pow(10.0f, static_cast<float>(power));
        float below = center;
        float above = center;
        for (int step = 0; step < 64; ++step) {
            for (const float value : {below, above, -below, -above}) {
                char want[64];
                std::snprintf(want, sizeof want, "%g", static_cast<double>(value));
                ASSERT_EQ(real(value), want) << "value " << want;
            }
            below = std::nextafter(below, 0.0f);
            above = std::nextafter(above, 1e30f);
        }
    }
}

}  // namespace
