#ifndef SCRIVLET_REPLAY_KEPT_ANSWER_BODY_H_
#define SCRIVLET_REPLAY_KEPT_ANSWER_BODY_H_

// What the session-bound scan gets of one answer's body: the first
// kHtmlKept bytes of an HTML answer, decoded as the browser decodes gzip
// and deflate. The body itself is read to its end by the replay engine,
// which hands each piece here as it came.

#include <gio/gio.h>

#include <array>
#include <cstddef>
#include <string>

#include "platform/gobject_ptr.h"

namespace scrivlet::replay {

// How much of an HTML answer, decoded, is kept for the session-bound scan;
// the rest is read and dropped.
inline constexpr std::size_t kHtmlKept = 8 * 1024 * 1024;

class KeptAnswerBody {
 public:
  // Starts over for a new answer: `html` whether its type is HTML,
  // `coding` its Content-Encoding line (nullptr for none).
  void Begin(bool html, const char* coding);
  // Keeps what the scan needs of `size` bytes of the body as they came.
  void Keep(const char* data, std::size_t size);
  // Lets go of the body kept and of its decoder.
  void Clear();

  // What was kept: "" for an answer that is not HTML or is in a coding
  // that is not scanned; what decoded of one that stopped decoding.
  const std::string& text() const { return body_; }

 private:
  // How much one decoding step writes at most.
  static constexpr gsize kDecodedChunk = 64 * 1024;

  void SetUpDecoding(const char* coding);

  bool html_ = false;
  GObjectPtr<GZlibDecompressor> decoder_;
  std::string body_;
  std::array<char, kDecodedChunk> decoded_;
};

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_KEPT_ANSWER_BODY_H_
