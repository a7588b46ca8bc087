#include "helperd/command_test.h"

#include <gtest/gtest.h>

namespace tavlune::helperd {
namespace {

const std::string kTool = "/usr/sbin/networksetup", t = kTool + " ", off = t + "-setwebproxystate 'Wi-Fi' off";

// The published prefix test and the daemon's strict test, side by side.
TEST(CommandTest, PublishedAndStrictTestsTogether) {
  struct Case {
    std::string line;
    bool prefixTest, allowed;
  };
  for (const Case& c : std::vector<Case>{
           {off, true, true}, {off + " && " + off, true, true}, {off + "&&" + off, true, true},
           {" \t" + off, true, true}, {off + " \t ", true, true}, {off + "  \t&&\t  " + off, true, true},
           {"\u00a0" + off, true, false},  // no-break space: trimmed by one test only
           {"\n" + off, false, false}, {off + " &&\n" + off, false, false},
           {"networksetup -setwebproxystate 'Wi-Fi' off", false, false}, {"/bin/sh -c true", false, false},
           {"", false, false}, {off + " &&", false, false}, {"&& " + off, false, false},
           {off + " &&& " + off, false, false}, {t + "-setwebproxystate 'A&&B' off", false, false},
           {kTool, true, false}, {kTool + "x -setwebproxystate 'Wi-Fi' off", true, false},
           {kTool + "/../../../bin/touch /tmp/x", true, false}, {t + "-getwebproxy 'Wi-Fi'", true, false},
           {t + "'-setwebproxystate' 'Wi-Fi' off", true, false}, {t + "-setwebproxystate 'Wi-Fi' maybe", true, false},
           {t + "-setwebproxystate 'Wi-Fi' 'off'", true, false}, {t + "-setwebproxystate 'Wi-Fi'", true, false},
           {t + "-setwebproxystate 'Wi-Fi' off off", true, false}, {t + "-setproxyautodiscovery 'Wi-Fi' on", true, true},
           {t + "-setwebproxy 'Wi-Fi' '10.0.0.2' 88 off", true, true}, {t + "-setsocksfirewallproxy 'W' 'h' -1 off", true, true},
           {t + "-setsecurewebproxy 'W' 'h' 443 on 'u' ''", true, true}, {t + "-setwebproxy 'W' 'h' '80' off", true, false},
           {t + "-setwebproxy 'W' 'h' 8o off", true, false}, {t + "-setwebproxy 'W' 'h' 12345678901234567890 off", true, false},
           {t + "-setwebproxy 'W' 'h' 80 on 'u'", true, false}, {t + "-setwebproxy 'W' 'h' 80 off 'u' 'p'", true, false},
           {t + "-setproxybypassdomains 'W' localhost 127.0.0.1 ::1 '*.local'", true, true},
           {t + "-setproxybypassdomains 'W' Empty", true, true}, {t + "-setproxybypassdomains 'W' *.local", true, false},
           {t + "-setproxybypassdomains 'W'", true, false}, {t + "-setautoproxyurl 'W' 'http://pac/x.pac?a=1&b=$2'", true, true},
           {t + "-setautoproxyurl 'W'", true, false}, {t + "-setwebproxystate 'Bob'\"'\"'s Wi-Fi' off", true, true},
           {t + "-setwebproxystate \"Wi-Fi\" off", true, false}, {t + "-setwebproxystate 'Wi-Fi off", true, false},
           {t + "-setwebproxystate 'Wi\nFi' off", true, true}, {t + "-setwebproxystate 'Wi-Fi'\noff", true, false},
           {t + "-setwebproxystate 'Wi" + std::string(1, '\0') + "Fi' off", true, false},
           {t + "-setwebproxystate 'Wi\xff' off", true, false}, {off + "; true", true, false},
           {t + "-setwebproxystate $HOME off", true, false}}) {
    EXPECT_EQ(passesPrefixTest(c.line), c.prefixTest) << c.line;
    EXPECT_EQ(isAllowedCommandLine(c.line), c.allowed) << c.line;
  }
}

}  // namespace
}  // namespace tavlune::helperd
