#include "wfsim/base/text.h"

#include <gtest/gtest.h>

namespace wfsim {
namespace {

TEST(Printable, NothingInANameCanEndTheLineOrReorderIt) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"plain \\dir\\caf\xC3\xA9 \xE6\x97\xA5", "plain \\dir\\caf\xC3\xA9 \xE6\x97\xA5"},
      {"a\nb\rc\x7F", "a<0A>b<0D>c<7F>"},
      {"say \"= 0\"", "say <22>= 0<22>"},
      {"x\xC2\x85y", "x<C2><85>y"},                             // NEL
      {"x\xE2\x80\xA8y\xE2\x80\xA9", "x<E2><80><A8>y<E2><80><A9>"},  // line and paragraph separators
      {"\xE2\x80\xAEtxt.exe", "<E2><80><AE>txt.exe"},           // right-to-left override
      {"\xE2\x81\xA6\xE2\x80\x8F\xD8\x9C", "<E2><81><A6><E2><80><8F><D8><9C>"},
      {"\xE2\x80\x90 \xC2\xA0", "\xE2\x80\x90 \xC2\xA0"},       // a hyphen and a no-break space stay
  };
  for (const auto& [name, shown] : cases) EXPECT_EQ(Printable(name), shown) << shown;
}

}  // namespace
}  // namespace wfsim
