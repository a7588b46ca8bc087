#include "validation/speed_text.h"

#include <gtest/gtest.h>

namespace tavlune::validation {
namespace {

struct Case {
  std::string output;
  std::string text;
};

const Case kCases[] = {
    {"0.000", "Unavailable"},
    {"0", "Unavailable"},
    {"-1500000", "Unavailable"},
    {"1500000", "12.0 Mbps"},
    {"1500000.000", "12.0 Mbps"},
    {"1500000\n", "12.0 Mbps"},
    {" \t1500000\r\n", "12.0 Mbps"},
    {"+1500000", "12.0 Mbps"},
    {"1543209.75", "12.3 Mbps"},  // 12.345678 Mbps
    {"1.5e6", "12.0 Mbps"},
    {"124987", "1.0 Mbps"},       // 0.999896 rounds up
    {"6", "0.0 Mbps"},            // positive, however small
    {"124987500", "999.9 Mbps"},  // exactly the cap
    {"200000000", "999.9 Mbps"},
    {"1e300", "999.9 Mbps"},
    {"", "Unavailable"},
    {"\n", "Unavailable"},
    {"abc", "Unavailable"},
    {"12 Mbps", "Unavailable"},
    {"1500000 1500000", "Unavailable"},
    {"1,5", "Unavailable"},
    {"1500000,000", "Unavailable"},
    {"++1500000", "Unavailable"},
    {"0x10", "Unavailable"},
    {"inf", "Unavailable"},
    {"nan", "Unavailable"},
    {"1e999", "Unavailable"},  // out of range
    {"\xff\xfe" "1500000", "Unavailable"},
    {std::string("1500000\0", 8), "Unavailable"},
};

TEST(SpeedText, RatesAndWhatIsNotARate) {
  for (const auto& c : kCases) EXPECT_EQ(speedText(c.output), c.text) << "output: " << c.output;
}

}  // namespace
}  // namespace tavlune::validation
