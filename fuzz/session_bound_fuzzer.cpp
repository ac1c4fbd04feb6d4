// The session-bound scan over any bytes as an answer's HTML: no crash, no
// GLib warning or critical (fatal here), and a value an answer hands out is
// never flagged when a later request sends it as handed out.

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "glib_fatal.h"
#include "replay/session_bound.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scrivlet::fuzz::MakeGLibWarningsFatal();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace scrivlet::replay;
  const std::string html(reinterpret_cast<const char*>(data), size);
  // The first byte picks the charset the answer's headers name.
  static const char* const kCharsets[] = {"", "utf-8", "iso-8859-1",
                                          "windows-1252", "utf-16", "bogus"};
  const char* charset =
      kCharsets[size == 0 ? 0 : data[0] % (sizeof kCharsets / sizeof *kCharsets)];
  const std::vector<NamedValue> values = HandedOutValues(html, charset);
  for (const NamedValue& value : values) MayHandOut(html, value.name);
  DecodeUrlEncoded(html);

  HandedOutLedger ledger;
  ledger.AddAnswer(values, html, values);
  FUZZ_CHECK(ledger.SessionBound(values).empty(),
             "a value handed out is not session-bound when sent as such");
  for (const NamedValue& value : values) {
    FUZZ_CHECK(HoldsPair(value.name + "=" + value.value, value),
               "a pair on its own is held");
  }
  return 0;
}
