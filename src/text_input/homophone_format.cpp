#include "text_input/homophone_format.h"

#include <algorithm>
#include <cstring>

#include "core/text.h"

namespace homophone_format {
namespace {

uint32_t Load32(std::span<const uint8_t> file, uint64_t offset) {
  const uint8_t* p = file.data() + offset;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void Store32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// offset >= text offset and offset + length <= file size, summed in 64 bits.
bool InTextArea(const Header& header, uint64_t offset, uint64_t length) {
  return offset >= header.text_offset && offset + length <= header.file_size;
}

}  // namespace

bool ReadHeader(std::span<const uint8_t> file, Header* out) {
  if (file.size() < kMinFileSize || file.size() > kMaxFileSize) return false;
  if (std::memcmp(file.data(), kMagic, sizeof kMagic) != 0) return false;
  Header h;
  h.entry_count = Load32(file, 12);
  h.index_offset = Load32(file, 16);
  h.text_offset = Load32(file, 20);
  h.file_size = Load32(file, 24);
  if (Load32(file, 8) != kVersion || h.file_size != file.size() || Load32(file, 28) != 0) return false;
  if (h.entry_count < 1 || h.entry_count > kMaxEntries || h.index_offset != kHeaderSize) return false;
  if (h.text_offset != uint64_t{h.entry_count} * kRecordSize + kHeaderSize || h.text_offset > h.file_size) {
    return false;
  }
  *out = h;
  return true;
}

bool ReadRecord(std::span<const uint8_t> file, const Header& header, uint32_t index, Record* out) {
  if (index >= header.entry_count) return false;
  const uint64_t at = uint64_t{header.index_offset} + uint64_t{index} * kRecordSize;
  Record r;
  r.key_offset = Load32(file, at);
  r.key_length = Load32(file, at + 4);
  r.values_offset = Load32(file, at + 8);
  r.values_length = Load32(file, at + 12);
  r.value_count = Load32(file, at + 16);
  if (r.key_length < 1 || r.key_length > kMaxKeyBytes || !InTextArea(header, r.key_offset, r.key_length)) {
    return false;
  }
  if (!InTextArea(header, r.values_offset, r.values_length)) return false;
  if (r.value_count < 1 || r.value_count > kMaxValues) return false;
  *out = r;
  return true;
}

std::string_view KeyOf(std::span<const uint8_t> file, const Record& record) {
  return {reinterpret_cast<const char*>(file.data()) + record.key_offset, record.key_length};
}

bool ReadValues(std::span<const uint8_t> file, const Record& record, size_t max_count,
                std::vector<std::u16string>* out) {
  out->clear();
  const char* p = reinterpret_cast<const char*>(file.data()) + record.values_offset;
  size_t left = record.values_length;
  for (uint32_t i = 0; i < record.value_count && out->size() < max_count; ++i) {
    const void* nul = std::memchr(p, '\0', left);
    const size_t length = nul == nullptr ? 0 : static_cast<size_t>(static_cast<const char*>(nul) - p);
    std::u16string value;
    if (nul == nullptr || length == 0 || length > kMaxValueBytes || !quorix_text::DecodeUtf8(p, length, &value) ||
        value.empty() || value.size() > kMaxValueUnits) {
      out->clear();
      return false;
    }
    out->push_back(std::move(value));
    p += length + 1;
    left -= length + 1;
  }
  return true;
}

std::string CheckReading(const std::string& reading) {
  if (reading.empty()) return "empty reading";
  if (reading.size() > kMaxKeyBytes) return "reading over 160 bytes";
  const std::u16string units = Utf8ToWideStrict(reading);
  if (units.empty()) return "reading is not valid UTF-8";
  if (units.size() > kMaxReadingUnits) return "reading over 40 units";
  for (char16_t c : units) {
    if (!((c >= 0x3041 && c <= 0x3096) || c == 0x30FC)) return "reading is not hiragana";
  }
  return {};
}

std::string CheckValue(const std::string& value) {
  if (value.empty()) return "empty value";
  if (value.size() > kMaxValueBytes) return "value over 4000 bytes";
  if (value.find('\0') != std::string::npos) return "value holds NUL";
  const std::u16string units = Utf8ToWideStrict(value);
  if (units.empty()) return "value is not valid UTF-8";
  if (units.size() > kMaxValueUnits) return "value over 1000 units";
  return {};
}

std::string BuildFile(std::vector<Entry> entries) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    // std::string compares char by char as unsigned char (char_traits<char>::lt).
    return a.reading < b.reading;
  });
  const uint32_t count = static_cast<uint32_t>(entries.size());
  const uint32_t text_offset = count * kRecordSize + kHeaderSize;
  std::string index;
  std::string text;
  for (const Entry& e : entries) {
    Store32(index, text_offset + static_cast<uint32_t>(text.size()));
    Store32(index, static_cast<uint32_t>(e.reading.size()));
    text += e.reading;
    const uint32_t values_offset = text_offset + static_cast<uint32_t>(text.size());
    for (const std::string& v : e.values) {
      text += v;
      text.push_back('\0');
    }
    Store32(index, values_offset);
    Store32(index, text_offset + static_cast<uint32_t>(text.size()) - values_offset);
    Store32(index, static_cast<uint32_t>(e.values.size()));
  }
  std::string file(kMagic, sizeof kMagic);
  Store32(file, kVersion);
  Store32(file, count);
  Store32(file, kHeaderSize);
  Store32(file, text_offset);
  Store32(file, static_cast<uint32_t>(kHeaderSize + index.size() + text.size()));
  Store32(file, 0);
  return file + index + text;
}

}  // namespace homophone_format
