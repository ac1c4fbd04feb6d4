#include "stand_in_server/transaction_check.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <memory>

namespace scrivlet::stand_in {
namespace {

struct ParserContextDeleter {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct DocumentDeleter {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct XmlCharDeleter {
  void operator()(xmlChar* text) const { xmlFree(text); }
};

std::string Name(const xmlNode* node) {
  return reinterpret_cast<const char*>(node->name);
}

bool IsElement(const xmlNode* node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && Name(node) == name;
}

std::string TextOf(const xmlNode* node) {
  std::unique_ptr<xmlChar, XmlCharDeleter> text(xmlNodeGetContent(node));
  return text ? reinterpret_cast<const char*>(text.get()) : "";
}

// The first element called `name` at or below `node`, depth first.
const xmlNode* FindDescendant(const xmlNode* node, std::string_view name) {
  for (const xmlNode* child = node->children; child; child = child->next) {
    if (IsElement(child, name)) return child;
    if (child->type == XML_ELEMENT_NODE) {
      if (const xmlNode* found = FindDescendant(child, name)) return found;
    }
  }
  return nullptr;
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string TrimLineBreak(std::string message) {
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

RecordedRequest Describe(const xmlNode* request) {
  RecordedRequest described;
  if (const xmlNode* method = FindDescendant(request, "METHOD")) {
    described.method = TextOf(method);
  }
  // HEADERS is a child of REQUEST in the navigation form and of REQUEST-LINE
  // in the completion form; a depth-first search finds it in both.
  std::string host;
  if (const xmlNode* headers = FindDescendant(request, "HEADERS")) {
    for (const xmlNode* line = headers->children; line; line = line->next) {
      if (!IsElement(line, "HL")) continue;
      const std::string text = TextOf(line);
      if (text.starts_with("Host: ")) {
        host = text.substr(6);
        break;
      }
    }
  }
  std::string uri;
  if (const xmlNode* uri_node = FindDescendant(request, "URI")) {
    uri = TextOf(uri_node);
  }
  described.address = host + uri;
  if (const xmlNode* content = FindDescendant(request, "CONTENT")) {
    std::size_t size = 0;
    std::size_t pieces = 0;
    for (const xmlNode* piece = content->children; piece; piece = piece->next) {
      if (!IsElement(piece, "W3C_ENC")) continue;
      size += TextOf(piece).size();
      ++pieces;
    }
    described.body_size = pieces == 0 ? 0 : size + pieces - 1;
  }
  return described;
}

}  // namespace

TransactionCheck CheckTransaction(std::string_view document) {
  TransactionCheck check;
  if (document.empty()) {
    check.reason = "the transaction document is empty";
    return check;
  }
  if (document.size() > static_cast<std::size_t>(INT_MAX)) {
    check.reason = "the transaction document is too large";
    return check;
  }
  std::unique_ptr<xmlParserCtxt, ParserContextDeleter> context(
      xmlNewParserCtxt());
  if (!context) {
    check.reason = "the XML parser could not be created";
    return check;
  }
  // No network, no entity substitution, and no messages on stderr: the
  // reason goes into the answer page instead.
  std::unique_ptr<xmlDoc, DocumentDeleter> parsed(xmlCtxtReadMemory(
      context.get(), document.data(), static_cast<int>(document.size()),
      "trans.xml", nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR |
                                XML_PARSE_NOWARNING));
  if (!parsed || !context->wellFormed) {
    const xmlError* error = xmlCtxtGetLastError(context.get());
    check.reason = "the transaction document is not well-formed XML";
    if (error && error->message) {
      check.reason += " (line " + std::to_string(error->line) + ": " +
                      TrimLineBreak(error->message) + ")";
    }
    return check;
  }
  const xmlNode* root = xmlDocGetRootElement(parsed.get());
  if (!root) {
    check.reason = "the transaction document has no root element";
    return check;
  }
  if (Name(root) != "HTTP-TRANSACTION") {
    check.reason =
        "the root element is " + Name(root) + ", not HTTP-TRANSACTION";
    return check;
  }
  int position = 0;
  for (const xmlNode* child = root->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) {
      ++position;
      if (Name(child) != "REQUEST") {
        check.reason = "element " + std::to_string(position) +
                       " inside HTTP-TRANSACTION is " + Name(child) +
                       ", not REQUEST";
        check.requests.clear();
        return check;
      }
      check.requests.push_back(Describe(child));
    } else if ((child->type == XML_TEXT_NODE ||
                child->type == XML_CDATA_SECTION_NODE) &&
               !IsBlank(TextOf(child))) {
      check.reason = "HTTP-TRANSACTION holds text outside its REQUEST elements";
      check.requests.clear();
      return check;
    }
  }
  check.accepted = true;
  return check;
}

}  // namespace scrivlet::stand_in
