#include "document/xml_escaping.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "document/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scrivlet {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the XML-acceptable UTF-8 sequence that starts at `at`, or 0 when
// the byte there cannot start one.
std::size_t AcceptableSequenceLength(std::string_view text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x80) {
    const bool allowed_control = byte == '\t' || byte == '\r' || byte == '\n';
    return (byte >= 0x20 || allowed_control) ? 1 : 0;
  }
  const Utf8Sequence sequence = MultiByteSequenceAt(text, at);
  const bool non_character = sequence.code == 0xFFFE || sequence.code == 0xFFFF;
  return non_character ? 0 : sequence.length;
}

constexpr std::string_view kPieceSeparator = "</W3C_ENC>\r\n<W3C_ENC>";

// The entity for one of the four escaped characters; in a body also for CR
// and LF, and the piece separator for "&"; empty for every other byte.
constexpr std::string_view EntityFor(char c, Escaping escaping) {
  if (escaping == Escaping::kNone) return {};
  const bool pieces = escaping == Escaping::kBodyPieces;
  switch (c) {
    case '&': return pieces ? kPieceSeparator : "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\r': return pieces ? "&#13;" : "";
    case '\n': return pieces ? "&#10;" : "";
    default: return {};
  }
}

// What a byte needs on its way into the document: nothing (almost every
// byte of a recorded text), its entity, or the check of the sequence it
// starts (bytes from 0x80 on, and C0 controls, which become U+FFFD).
enum class ByteClass : unsigned char { kKept, kEntity, kChecked };

constexpr std::array<ByteClass, 256> MakeByteClasses(Escaping escaping) {
  std::array<ByteClass, 256> classes{};
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool allowed_control = c == '\t' || c == '\r' || c == '\n';
    ByteClass kind = ByteClass::kKept;
    if (byte >= 0x80 || (byte < 0x20 && !allowed_control)) {
      kind = ByteClass::kChecked;
    }
    if (!EntityFor(c, escaping).empty()) kind = ByteClass::kEntity;
    classes[static_cast<std::size_t>(byte)] = kind;
  }
  return classes;
}
constexpr std::array<ByteClass, 256> kSanitizedClasses =
    MakeByteClasses(Escaping::kNone);
constexpr std::array<ByteClass, 256> kEscapedClasses =
    MakeByteClasses(Escaping::kMarkup);
constexpr std::array<ByteClass, 256> kBodyClasses =
    MakeByteClasses(Escaping::kBodyPieces);

constexpr const std::array<ByteClass, 256>& ByteClassesFor(Escaping escaping) {
  switch (escaping) {
    case Escaping::kNone: return kSanitizedClasses;
    case Escaping::kMarkup: return kEscapedClasses;
    case Escaping::kBodyPieces: return kBodyClasses;
  }
  return kSanitizedClasses;
}

// The end of the run of bytes from `at` on that are only copied. With SSE2
// (every x86-64 processor) sixteen bytes are tested at once for the bytes
// that may need more: controls and bytes from 0x80 on (signed, both are
// below 0x20), and unless `escaping` is kNone the four escaped characters.
// A flagged byte that its class keeps (TAB, CR, LF where they stay) does not
// end the run. A recorded text is mostly such runs.
std::size_t KeptRunEnd(std::string_view text, std::size_t at,
                       Escaping escaping,
                       const std::array<ByteClass, 256>& classes) {
  const auto kept = [&](std::size_t i) {
    return classes[static_cast<unsigned char>(text[i])] == ByteClass::kKept;
  };
#if defined(__SSE2__)
  const bool markup = escaping != Escaping::kNone;
  const __m128i below_space = _mm_set1_epi8(0x20);
  const __m128i ampersand = _mm_set1_epi8('&');
  const __m128i less = _mm_set1_epi8('<');
  const __m128i greater = _mm_set1_epi8('>');
  const __m128i quote = _mm_set1_epi8('"');
  while (text.size() - at >= 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    __m128i flagged = _mm_cmplt_epi8(block, below_space);
    if (markup) {
      flagged = _mm_or_si128(
          flagged, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, ampersand),
                                             _mm_cmpeq_epi8(block, less)),
                                _mm_or_si128(_mm_cmpeq_epi8(block, greater),
                                             _mm_cmpeq_epi8(block, quote))));
    }
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(flagged));
    while (mask != 0) {
      const std::size_t candidate =
          at + static_cast<std::size_t>(__builtin_ctz(mask));
      if (!kept(candidate)) return candidate;
      mask &= mask - 1;
    }
    at += 16;
  }
#else
  (void)escaping;
#endif
  while (at < text.size() && kept(at)) ++at;
  return at;
}

}  // namespace

// Appends SanitizeXmlBytes(text) to `out`, escaped as `escaping` says. One
// pass gives the same bytes as escaping first and sanitising after: the
// entities are plain ASCII, and a byte that starts an acceptable sequence of
// more than one byte is never one of the escaped characters. Runs of kept
// bytes are copied whole.
void AppendSanitized(std::string& out, std::string_view text,
                     Escaping escaping) {
  const std::array<ByteClass, 256>& classes = ByteClassesFor(escaping);
  const auto class_at = [&](std::size_t at) {
    return classes[static_cast<unsigned char>(text[at])];
  };
  out.reserve(out.size() + text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t run_end = KeptRunEnd(text, at, escaping, classes);
    out.append(text.data() + at, run_end - at);
    at = run_end;
    if (at == text.size()) break;
    if (class_at(at) == ByteClass::kEntity) {
      out += EntityFor(text[at], escaping);
      ++at;
      continue;
    }
    if (escaping == Escaping::kBodyPieces && text[at] == '\0' &&
        (at + 1 == text.size() || text[at + 1] == '&')) {
      ++at;
      continue;
    }
    const std::size_t length = AcceptableSequenceLength(text, at);
    if (length == 0) {
      out += kReplacementCharacter;
      ++at;
    } else {
      out.append(text.data() + at, length);
      at += length;
    }
  }
}

std::string SanitizeXmlBytes(const std::string& text) {
  std::string out;
  AppendSanitized(out, text, Escaping::kNone);
  return out;
}

std::string EscapeText(const std::string& text) {
  std::string out;
  AppendSanitized(out, text, Escaping::kMarkup);
  return out;
}

}  // namespace scrivlet
