// The repair of a kept trans.xml and the reading back of its elements.
// Any bytes: the repair keeps a prefix and appends only the missing part of
// the first line; what it cuts holds no element end; a repaired document is
// whole to a second repair, and reads back as its own elements. A document
// of elements the writer built, torn at any byte and perhaps followed by
// NUL bytes: exactly the elements written before the tear are kept, and
// each reads back with the address, method, form and body size written.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/document_reader.h"
#include "document/document_repair.h"
#include "document/document_writer.h"
#include "fuzz_support.h"
#include "support/reference_document.h"

namespace scrivlet::fuzz {
namespace {

const std::string kFirstLine = std::string(kDocumentStartLine) + kLineEnd;

std::string Repaired(const std::string& content, const DocumentRepair& plan) {
  return content.substr(0, plan.keep) + plan.append;
}

// Whether `tail` holds a line that ends with an element's end.
bool HoldsElementEndLine(const std::string& tail) {
  return tail.find("</REQUEST>\r\n") != std::string::npos ||
         tail.find("</REQUEST>\n") != std::string::npos;
}

void CheckAnyContent(const std::string& content) {
  const DocumentRepair plan = PlanDocumentRepair(content);
  FUZZ_CHECK(plan.keep <= content.size(), "keeps a prefix");
  const std::string repaired = Repaired(content, plan);
  if (!plan.append.empty()) {
    FUZZ_CHECK(repaired == kFirstLine, "only the first line is completed");
  }
  FUZZ_CHECK(!HoldsElementEndLine(content.substr(plan.keep)) ||
                 plan.keep == content.size(),
             "no element end is cut");
  if (repaired == content) return;
  FUZZ_CHECK(PlanDocumentRepair(repaired) ==
                 (DocumentRepair{repaired.size(), ""}),
             "a repaired document is whole");
  const DocumentPrefix read = ReadDocumentPrefix(repaired);
  FUZZ_CHECK(!read.problem && read.head_end, "a repaired document reads whole");
  FUZZ_CHECK((read.document.elements.empty() ? *read.head_end
                                             : read.document.elements.back().end) ==
                 repaired.size(),
             "a repaired document ends with its head or its last element");
}

// Up to eight elements built by the writer from the input, torn at an
// offset the input chooses.
void CheckTornDocument(FuzzedDataProvider& provider) {
  struct Written {
    std::string url;
    bool completion;
    bool post;
    std::size_t body_size;
  };
  std::vector<Written> written;
  std::vector<std::size_t> ends;
  std::string document = kFirstLine;
  const int count = provider.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < count; ++i) {
    const bool completion = provider.ConsumeBool();
    const bool post = provider.ConsumeBool();
    const std::string url = provider.ConsumeRandomLengthString(64);
    const std::string headers = provider.ConsumeRandomLengthString(32);
    const std::string body = provider.ConsumeRandomLengthString(64);
    std::optional<UrlParts> parts = SplitUrl(url);
    if (!parts) continue;
    // A redirect is always written as a GET without content.
    const RequestFields fields{post && !completion ? "POST" : "GET", *parts,
                               "dTpw", ""};
    std::string element;
    std::size_t body_size = 0;
    if (completion) {
      element = BuildCompletionElement(fields);
    } else if (post) {
      element = BuildNavigationElement(fields, headers, body);
      std::size_t pieces = 0;
      for (const std::string& piece : testing::SplitBody(body)) {
        body_size += ReplaceBadBytes(piece).size() + (pieces++ ? 1 : 0);
      }
    } else {
      element = BuildNavigationElement(fields, headers, std::nullopt);
    }
    document += element;
    ends.push_back(document.size());
    written.push_back(
        {ReplaceBadBytes(url), completion, post && !completion, body_size});
  }
  const std::size_t tear =
      provider.ConsumeIntegralInRange<std::size_t>(0, document.size());
  const std::string torn = document.substr(0, tear) +
                           std::string(provider.ConsumeIntegralInRange(0, 16),
                                       '\0');

  const std::string repaired = Repaired(torn, PlanDocumentRepair(torn));
  std::size_t whole = 0;
  while (whole < ends.size() && ends[whole] <= tear) ++whole;
  FUZZ_CHECK(repaired ==
                 document.substr(0, whole ? ends[whole - 1] : kFirstLine.size()),
             "exactly the elements written before the tear are kept");
  const std::vector<DocumentElement> read =
      ReadDocumentPrefix(repaired).document.elements;
  FUZZ_CHECK(read.size() == whole, "each kept element reads back");
  for (std::size_t i = 0; i < read.size(); ++i) {
    FUZZ_CHECK(read[i].Url() == written[i].url, "address");
    FUZZ_CHECK(read[i].method == (written[i].post ? "POST" : "GET"), "method");
    FUZZ_CHECK((read[i].kind == ElementKind::kCompletion) == written[i].completion,
               "form");
    FUZZ_CHECK(read[i].BodySize() == written[i].body_size, "body size");
  }
}

}  // namespace
}  // namespace scrivlet::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzedDataProvider provider(data, size);
  if (provider.ConsumeBool()) {
    scrivlet::fuzz::CheckTornDocument(provider);
  } else {
    scrivlet::fuzz::CheckAnyContent(provider.ConsumeRemainingBytesAsString());
  }
  return 0;
}
