#include "common/numbers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const tricky_texts[] = {
    "", " ", "42", "  42", "\t\n\v\f\r 42", "+7", "-7", "--7", "+-7", "- 7", "0", "-0", "007",
    "12abc", "3.7", "-3.7", "1e3", "1E-3", ".5", "5.", ".", "e5", "1e", "1e+", "1e+x", "0x1A",
    "0X1p4", "0x.8p1", "0x", "0xg", "-0x10", "inf", "-inf", "+INF", "Infinity", "infinit", "nan",
    "-nan", "NaN(123)", "nan(", "nanx", "1e400", "-1e400", "1e-400", "4.9e-324", "2.4703282292062328e-324",
    "0.1", "0.01", "0.010000001", "9007199254740993", "123456789012345678901234567890", "1,5",
    "12\t34", "7\r", "\r7", "2147483648", "-2147483649", "9223372036854775807",
    "9223372036854775808", "-9223372036854775808", "-9223372036854775809",
    "99999999999999999999999", "-99999999999999999999999", "header", "unassigned",
};

TEST(Numbers, WholeNumbersMatchStrtoll) {
    for (const char* text : tricky_texts) {
        EXPECT_EQ(at::to_whole(text), std::strtoll(text, nullptr, 10)) << '"' << text << '"';
    }
}

TEST(Numbers, WholeNumbersMatchAtoiWithinTheIntRange) {
    for (const char* text : {"123", " -45x", "+0", "abc", "2147483647", "-2147483648", "3.9"}) {
        EXPECT_EQ(at::to_whole(text), std::atoi(text)) << text;
    }
}

TEST(Numbers, RealNumbersMatchAtofBitForBit) {
    for (const char* text : tricky_texts) {
        const double want = std::atof(text);
        const double got = at::to_real(text);
        EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << '"' << text << "\" gave " << got << " not " << want;
    }
}

TEST(Numbers, ConversionStopsAtTheEndOfTheField) {
    // Fields are views into a line: digits after the view's end must not count.
    const std::string line = "12345";
    EXPECT_EQ(at::to_whole(std::string_view(line).substr(0, 2)), 12);
    EXPECT_EQ(at::to_real(std::string_view(line).substr(0, 3)), 123.0);
    const std::string long_field = "1." + std::string(300, '0') + "1e2xyz";
    EXPECT_EQ(at::to_real(long_field), std::atof(long_field.c_str()));
}

TEST(Numbers, SinglePrecisionIsAtofRoundedOnce) {
    EXPECT_EQ(at::to_single("0.01"), static_cast<float>(0.01));
    EXPECT_LT(static_cast<double>(at::to_single("0.01")), 0.01);
    EXPECT_GE(static_cast<double>(at::to_single("0.010000001")), 0.01);
    EXPECT_TRUE(std::isnan(at::to_single("-nan")));
    EXPECT_TRUE(std::signbit(at::to_single("-nan")));
    EXPECT_EQ(at::to_single("1e39"), INFINITY);
}

}  // namespace

namespace {

TEST(Numbers, RandomDecimalTextsMatchAtofBitForBit) {
    // Weights and percentages as tables write them, and long, tiny, huge and
    // halfway cases, each checked against the C library.
    std::uint64_t state = 42;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    };
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        if (next() % 4 == 0) text += '-';
        const auto integer_digits = next() % 12;
        for (std::uint64_t d = 0; d < integer_digits; ++d) text += static_cast<char>('0' + next() % 10);
        if (next() % 3 != 0) {
            text += '.';
            const auto fraction_digits = next() % 25;
            for (std::uint64_t d = 0; d < fraction_digits; ++d) text += static_cast<char>('0' + next() % 10);
        }
        if (next() % 4 == 0) {
            text += next() % 2 ? 'e' : 'E';
            if (next() % 2) text += next() % 2 ? '-' : '+';
            text += std::to_string(next() % 400);
        }
        if (next() % 5 == 0) text += "\t\r x";
        const double want = std::atof(text.c_str());
        const double got = at::to_real(text);
        ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << '"' << text << '"';
    }
}

}  // namespace

TEST(Numbers, EightDigitsAtATimeMatchDigitByDigit) {
    // Runs of every length up to ten, followed by bytes on both sides of the
    // digits and bytes whose carry could spill over, cut off at every length.
    const char after[] = {'\0', '/', ':', '.', ',', static_cast<char>(0xfa), static_cast<char>(0xff),
                          static_cast<char>(0x80), 'a', '\xb9'};
    for (std::size_t run = 0; run <= 10; ++run) {
        for (const char next : after) {
            std::string text;
            for (std::size_t i = 0; i < run; ++i) text.push_back(static_cast<char>('0' + (7 * i + run) % 10));
            text.push_back(next);
            text += "12345678";
            for (std::size_t length = 0; length <= text.size(); ++length) {
                std::size_t expected_count = 0;
                std::uint64_t expected = 0;
                while (expected_count < length && expected_count < 8 && text[expected_count] >= '0' &&
                       text[expected_count] <= '9') {
                    expected = expected * 10 + static_cast<unsigned>(text[expected_count] - '0');
                    ++expected_count;
                }
                std::uint64_t value = 99;
                const std::size_t count = at::detail::digits_of_eight(text.data(), text.data() + length, value);
                ASSERT_EQ(count, expected_count) << "run " << run << " next " << int(next) << " length " << length;
                ASSERT_EQ(value, expected) << "run " << run << " next " << int(next) << " length " << length;
                // Eight bytes may always be read here: the one load must
                // still stop at the end of the field.
                value = 99;
                ASSERT_EQ(at::detail::digits_of_eight_in_line(text.data(), text.data() + length, value), expected_count)
                    << "run " << run << " next " << int(next) << " length " << length;
                ASSERT_EQ(value, expected) << "run " << run << " next " << int(next) << " length " << length;
            }
        }
    }
}
