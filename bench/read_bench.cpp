// Reading a transaction document back: the reader and its unescaping at
// growing sizes, with Google Benchmark's fit of the time to the size. Both
// must grow in proportion to the text ("BigO ... N"): a text full of "&"
// without ";" once took time in the square of its length.
//
//   scrivlet-read-bench [Google Benchmark flags]
//
// unescape/N: UnescapeText of N bytes of "&a" pairs (no reference at all).
// document/N: ReadTransactionDocument of a document of about N bytes of
// writer-made elements, each with a query full of "&".
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "document/address.h"
#include "document/document_reader.h"
#include "document/document_writer.h"

namespace scrivlet {
namespace {

void Unescape(benchmark::State& state) {
  std::string text;
  while (text.size() < static_cast<std::size_t>(state.range(0))) text += "&a";
  for (auto _ : state) benchmark::DoNotOptimize(UnescapeText(text));
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(text.size()));
}

void ReadDocument(benchmark::State& state) {
  std::string document = std::string(kDocumentStartLine) + kLineEnd;
  for (int i = 0; document.size() < static_cast<std::size_t>(state.range(0));
       ++i) {
    const std::string url = "http://shop.example.com/item?id=" +
                            std::to_string(i) + std::string(200, '&') + "x";
    document += BuildNavigationElement({"POST", *SplitUrl(url), "", ""}, "",
                                       "a=1&b=" + std::string(100, '&'));
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadTransactionDocument(document));
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(document.size()));
}

BENCHMARK(Unescape)
    ->Name("unescape")
    ->RangeMultiplier(2)
    ->Range(80000, 1280000)
    ->Complexity();
BENCHMARK(ReadDocument)
    ->Name("document")
    ->RangeMultiplier(2)
    ->Range(1 << 20, 16 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
}  // namespace scrivlet

BENCHMARK_MAIN();
