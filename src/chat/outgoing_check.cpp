#include "chat/outgoing_check.h"

#include "core/json.h"

bool ValidateOutgoingMessageText(const std::string& text) {
  if (text.empty() || text.size() > 2000) return false;
  bool content = false;
  for (unsigned char c : text) {
    if (c <= 0x08 || (c >= 0x0E && c <= 0x1F) || c == 0x7F) return false;
    if (c != '\t' && c != '\n' && c != '\r' && c != ' ') content = true;
  }
  if (!content) return false;

  std::string literal;
  literal.reserve(text.size() + 16);
  literal.push_back('"');
  for (char c : text) {
    switch (c) {
      case '"':
      case '\\':
        literal.push_back('\\');
        literal.push_back(c);
        break;
      case '\n':
        literal += "\\n";
        break;
      case '\r':
        literal += "\\r";
        break;
      case '\t':
        literal += "\\t";
        break;
      default:
        literal.push_back(c);
    }
  }
  literal.push_back('"');
  // The reader's strictness is the UTF-8 check.
  JsonValue value;
  return ParseJson(literal, value) && value.type == JsonType::String;
}
