#include "replay/kept_answer_body.h"

#include <algorithm>

namespace scrivlet::replay {

void KeptAnswerBody::Begin(bool html, const char* coding) {
  html_ = html;
  SetUpDecoding(coding);
  body_.clear();
}

void KeptAnswerBody::Clear() {
  decoder_.reset();
  body_.clear();
}

// The answer is scanned as the browser shows it: a gzip or deflate body
// decoded; one in another coding is not scanned.
void KeptAnswerBody::SetUpDecoding(const char* coding) {
  decoder_.reset();
  if (coding == nullptr || g_ascii_strcasecmp(coding, "identity") == 0) return;
  if (g_ascii_strcasecmp(coding, "gzip") == 0 ||
      g_ascii_strcasecmp(coding, "x-gzip") == 0) {
    decoder_ = GObjectPtr<GZlibDecompressor>::Adopt(
        g_zlib_decompressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP));
  } else if (g_ascii_strcasecmp(coding, "deflate") == 0) {
    decoder_ = GObjectPtr<GZlibDecompressor>::Adopt(
        g_zlib_decompressor_new(G_ZLIB_COMPRESSOR_FORMAT_ZLIB));
  } else {
    html_ = false;
  }
}

// Nothing is kept of an answer that is not HTML (or no longer decodes), nor
// past kHtmlKept.
void KeptAnswerBody::Keep(const char* data, std::size_t size) {
  if (!html_ || body_.size() >= kHtmlKept) return;
  if (!decoder_) {
    body_.append(data, std::min(size, kHtmlKept - body_.size()));
    return;
  }
  while (size > 0 && body_.size() < kHtmlKept) {
    gsize read = 0;
    gsize written = 0;
    g_autoptr(GError) error = nullptr;
    const GConverterResult result = g_converter_convert(
        G_CONVERTER(decoder_.get()), data, size, decoded_.data(),
        decoded_.size(), G_CONVERTER_NO_FLAGS, &read, &written, &error);
    if (result == G_CONVERTER_ERROR) {
      // More input is needed first; anything else is a body that does
      // not decode, and the scan keeps what decoded.
      if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PARTIAL_INPUT)) {
        html_ = false;
      }
      return;
    }
    body_.append(decoded_.data(),
                 std::min<std::size_t>(written, kHtmlKept - body_.size()));
    data += read;
    size -= read;
    if (result == G_CONVERTER_FINISHED) return;
  }
}

}  // namespace scrivlet::replay
