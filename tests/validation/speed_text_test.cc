#include "validation/speed_text.h"

#include <gtest/gtest.h>

namespace tavlune::validation {
namespace {

TEST(SpeedText, RatesAndWhatIsNotARate) {
  const std::string none = "Unavailable", twelve = "12.0 Mbps", cap = "999.9 Mbps";
  for (const auto& [output, text] : std::vector<std::pair<std::string, std::string>>{
           {"0.000", none}, {"-1500000", none}, {"1500000", twelve}, {" \t1500000.000\r\n", twelve}, {"+1500000", twelve},
           {"1.5e6", twelve}, {"1543209.75", "12.3 Mbps"}, {"124987", "1.0 Mbps"}, {"6", "0.0 Mbps"}, {"0.5", "0.0 Mbps"},
           {"124987500", cap}, {"1e300", cap}, {"", none}, {"abc", none}, {"12 Mbps", none}, {"1500000 1500000", none},
           {"1,5", none}, {"++1500000", none}, {"0x10", none}, {"inf", none}, {"nan", none}, {"1e999", none},
           {"\xff\xfe" "1500000", none}, {std::string("1500000\0", 8), none}})
    EXPECT_EQ(speedText(output), text) << "output: " << output;
}

}  // namespace
}  // namespace tavlune::validation
