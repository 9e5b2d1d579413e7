// ApplyRule and RewriteName on random rules and names, against a plain
// reference that restarts its search at the start of the text after every
// substitution: the same result, at most 1024 substitutions per rule, and no
// occurrence of the search string left unless the cap was reached.
//
// The input is UTF-8 split at LF: the name, then search and replacement
// strings in turn (at most four rules). Names are cut to 255 code units and
// rule strings to 16, which keeps a capped rule's text at a size a file
// name rule can reach while every run stays fast.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "renamer/renamer.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kMaxRules = 4;
constexpr std::size_t kMaxName = 255;
constexpr std::size_t kMaxRuleText = 16;

struct ReferenceResult {
  std::u16string text;
  std::uint32_t substitutions = 0;
  bool capped = false;
};

// The reference scans the whole text for every substitution: up to 1024
// scans of some 16,000 units for a capped rule. Left out of the coverage
// instrumentation, which would make that some hundred times slower and
// gives the fuzzer nothing about the code under test.
#define FUZZ_NO_COVERAGE __attribute__((no_sanitize("coverage")))

FUZZ_NO_COVERAGE std::size_t Leftmost(const std::u16string& text, const std::u16string& search) {
  for (std::size_t i = 0; i + search.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < search.size() && text[i + k] == search[k]) ++k;
    if (k == search.size()) return i;
  }
  return std::u16string::npos;
}

FUZZ_NO_COVERAGE ReferenceResult ReferenceApply(const std::u16string& search,
                                                const std::u16string& replacement,
                                                const std::u16string& text) {
  ReferenceResult r{text};
  // A rule with an empty side never changes anything.
  if (search.empty() || replacement.empty()) return r;
  std::size_t pos;
  while ((pos = Leftmost(r.text, search)) != std::u16string::npos) {
    r.text.replace(pos, search.size(), replacement);
    if (++r.substitutions == renamer::kReplaceCap) {
      r.capped = true;
      break;
    }
  }
  return r;
}

std::vector<std::u16string> Pieces(const std::string& bytes) {
  std::vector<std::u16string> pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t lf = bytes.find('\n', start);
    pieces.push_back(platform::DecodeUtf8(bytes.substr(start, lf - start)));
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  return pieces;
}

void CheckApplyRule(const std::u16string& search, const std::u16string& replacement,
                    const std::u16string& text) {
  const std::string what =
      "rule " + fuzz::Show(search) + " -> " + fuzz::Show(replacement) + " on " + fuzz::Show(text);
  const ReferenceResult expected = ReferenceApply(search, replacement, text);
  const std::uint32_t cappedBefore = renamer::counters.exceededReplaces;
  std::u16string result = u"untouched";
  const bool changed = renamer::ApplyRule(search, replacement, text, result);

  FUZZ_CHECK(changed == (expected.substitutions > 0), "wrong change flag for " + what);
  FUZZ_CHECK(!changed || result == expected.text, "result " + fuzz::Show(result) + " instead of " +
                                                      fuzz::Show(expected.text) + " for " + what);
  FUZZ_CHECK(changed || result == u"untouched", "result set without a change for " + what);
  const std::uint32_t capped = renamer::counters.exceededReplaces - cappedBefore;
  FUZZ_CHECK(capped == (expected.capped ? 1u : 0u), "cap counted wrongly for " + what);
  if (changed && capped == 0) {
    FUZZ_CHECK(result.find(search) == std::u16string::npos, "search string left by " + what);
  }
  // A call leaves nothing behind that a later call would see: the same rule
  // on the same text gives the same result and the same cap again.
  std::u16string again = u"untouched";
  FUZZ_CHECK(renamer::ApplyRule(search, replacement, text, again) == changed &&
                 (!changed || again == result) &&
                 renamer::counters.exceededReplaces - cappedBefore == 2 * capped,
             "a second call differs from the first for " + what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> pieces = Pieces(fuzz::Bytes(data, size));
  renamer::ResetRun();  // log level 0: nothing is written
  std::u16string name = pieces[0].substr(0, kMaxName);
  std::size_t count = std::min((pieces.size() - 1) / 2, kMaxRules);
  renamer::rules.ruleCount = static_cast<std::uint32_t>(count);
  for (std::size_t i = 0; i < count; ++i) {
    renamer::rules.searchText[i] = pieces[1 + 2 * i].substr(0, kMaxRuleText);
    renamer::rules.replaceText[i] = pieces[2 + 2 * i].substr(0, kMaxRuleText);
    CheckApplyRule(renamer::rules.searchText[i], renamer::rules.replaceText[i], name);
  }

  // RewriteName: the ANSI check, then every rule in file order.
  renamer::counters = renamer::RenamerCounters();
  std::u16string expected = platform::FromAnsi(platform::ToAnsi(name));
  const bool ansiChanged = expected != name;
  bool expectedChange = ansiChanged;
  std::uint32_t expectedCapped = 0;
  for (std::size_t i = 0; i < count; ++i) {
    ReferenceResult r =
        ReferenceApply(renamer::rules.searchText[i], renamer::rules.replaceText[i], expected);
    expected = r.text;
    if (r.substitutions > 0) expectedChange = true;
    if (r.capped) ++expectedCapped;
  }
  bool changed = false;
  const std::u16string result = renamer::RewriteName(renamer::EntryKind::File, name, changed);
  const std::string what = "RewriteName of " + fuzz::Show(name);
  FUZZ_CHECK(result == expected,
             what + " gave " + fuzz::Show(result) + " instead of " + fuzz::Show(expected));
  FUZZ_CHECK(renamer::counters.exceededReplaces == expectedCapped, what + ": wrong cap count");
  // Rules that undo each other still count as a change: the flag follows
  // the substitutions, not the final text.
  FUZZ_CHECK(changed == expectedChange, what + ": wrong change flag");
  FUZZ_CHECK(renamer::counters.utfFiles == (ansiChanged ? 1u : 0u), what + ": wrong ANSI count");
  bool changedAgain = false;
  FUZZ_CHECK(renamer::RewriteName(renamer::EntryKind::File, name, changedAgain) == result &&
                 changedAgain == changed &&
                 renamer::counters.exceededReplaces == 2 * expectedCapped,
             what + ": a second rewrite differs from the first");
  // -w: the composed form is stable, and a name made Windows-safe fits,
  // ends in neither dot nor blank, and stays as it is when made safe again.
  const std::u16string composed = renamer::ToNfc(name);
  FUZZ_CHECK(renamer::ToNfc(composed) == composed, "ToNfc is not stable on " + fuzz::Show(name));
  const std::u16string safe = renamer::MakeWindowsName(composed + composed);
  FUZZ_CHECK(safe.size() <= 255, "too long a Windows name from " + fuzz::Show(name));
  FUZZ_CHECK(safe.empty() || (safe.back() != u'.' && safe.back() != u' '),
             "trailing dot or blank from " + fuzz::Show(name));
  FUZZ_CHECK(renamer::MakeWindowsName(safe) == safe,
             "Windows name not stable: " + fuzz::Show(name));
  return 0;
}
