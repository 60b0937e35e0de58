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
