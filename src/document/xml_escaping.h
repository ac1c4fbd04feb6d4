#ifndef SCRIVLET_DOCUMENT_XML_ESCAPING_H_
#define SCRIVLET_DOCUMENT_XML_ESCAPING_H_

// Recorded text on its way into the document, so that the document stays
// well-formed XML whatever the browser hands over:
//  * "&", "<", ">" and the double quote become "&amp;", "&lt;", "&gt;" and
//    "&quot;", in that order over the whole text (an entity already present is
//    escaped once more). A URL whose authority holds one of these characters
//    is not a valid address anyway; escaping it is the only way to keep the
//    document readable.
//  * In a W3C_ENC piece, CR and LF also become "&#13;" and "&#10;", so that
//    no piece spans lines: the record page receives the document's lines
//    joined with nothing between them, and an XML parser reads a raw CR LF
//    as LF. A multipart or text/plain body (line breaks between its parts
//    and inside values) then comes back byte for byte either way; a
//    URL-encoded body holds no raw line break and is written as before.
//  * After that, every byte that XML 1.0 cannot carry even escaped becomes
//    U+FFFD (the three bytes EF BF BD), one replacement per byte: C0 controls
//    other than TAB, CR and LF; bytes that are not part of valid UTF-8
//    (stray continuation bytes, truncated or overlong sequences, code points
//    above U+10FFFF); the encodings of surrogates and of U+FFFE and U+FFFF.
//    DEL and the C1 controls are legal XML characters and are kept.
//  * Every other byte is kept exactly; nothing is decoded or re-encoded.
// Normal URL-encoded form bodies contain none of these bytes, so their
// recording is byte for byte what was sent.

#include <string>
#include <string_view>

namespace scrivlet {

// What AppendSanitized does to the text besides replacing bad bytes.
enum class Escaping {
  kNone,
  kMarkup,  // the four characters become entities
  // A whole post body as its W3C_ENC pieces: the four characters as
  // entities and CR and LF as character references, but an "&" ends one
  // piece and starts the next ("</W3C_ENC>" CR LF "<W3C_ENC>"), and a NUL
  // byte that ends a piece is left out.
  kBodyPieces,
};

// Appends `text` to `out`, escaped as `escaping` says and sanitised, in one
// pass.
void AppendSanitized(std::string& out, std::string_view text,
                     Escaping escaping);

// The four replacements, then the byte sanitising described above.
std::string EscapeText(const std::string& text);
// Only the byte sanitising, for text that is already escaped.
std::string SanitizeXmlBytes(const std::string& text);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_XML_ESCAPING_H_
