#include "com/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "com/ComErrors.h"

TMemoryStream::TMemoryStream() noexcept = default;

TMemoryStream::TMemoryStream(std::vector<uint8_t> AData) : FData(std::move(AData)) {}

uint32_t TMemoryStream::Read(void* ABuffer, uint32_t ACount) {
  if (FPosition >= FData.size()) return 0;
  const auto count = static_cast<uint32_t>(std::min<uint64_t>(ACount, FData.size() - FPosition));
  if (count) std::memcpy(ABuffer, FData.data() + FPosition, count);
  FPosition += count;
  return count;
}

uint32_t TMemoryStream::Write(const void* ABuffer, uint32_t ACount) {
  if (ACount == 0) return 0;
  const uint64_t end = FPosition + ACount;
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, ABuffer, ACount);
  FPosition = end;
  return ACount;
}

uint64_t TMemoryStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  int64_t base = 0;
  switch (AOrigin) {
    case TSeekOrigin::Begin: base = 0; break;
    case TSeekOrigin::Current: base = static_cast<int64_t>(FPosition); break;
    case TSeekOrigin::End: base = static_cast<int64_t>(FData.size()); break;
  }
  const int64_t target = base + AOffset;
  if (target < 0) throw ELumetaError("Seek before the start of the stream", E_INVALIDARG);
  FPosition = static_cast<uint64_t>(target);
  return FPosition;
}

void TMemoryStream::SetSize(uint64_t ASize) { FData.resize(ASize); }

uint64_t TMemoryStream::GetSize() { return FData.size(); }

void ReadBuffer(IStream* AStream, void* ABuffer, uint32_t ACount) {
  if (AStream->Read(ABuffer, ACount) != ACount) throw ELumetaError("Stream read error", STG_E_READFAULT);
}

void WriteBuffer(IStream* AStream, const void* ABuffer, uint32_t ACount) {
  if (AStream->Write(ABuffer, ACount) != ACount) throw ELumetaError("Stream write error", STG_E_WRITEFAULT);
}

uint64_t StreamPosition(IStream* AStream) { return AStream->Seek(0, TSeekOrigin::Current); }

std::u16string Utf8ToUtf16(const std::string& AText) {
  std::u16string result;
  result.reserve(AText.size());
  const auto* text = reinterpret_cast<const unsigned char*>(AText.data());
  const size_t size = AText.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = text[i];
    char32_t code = 0xFFFD;
    size_t length = 1;
    if (lead < 0x80) {
      code = lead;
    } else {
      size_t extra = 0;
      char32_t minimum = 0;
      if (lead >= 0xC2 && lead <= 0xDF) { extra = 1; minimum = 0x80; code = lead & 0x1F; }
      else if (lead >= 0xE0 && lead <= 0xEF) { extra = 2; minimum = 0x800; code = lead & 0x0F; }
      else if (lead >= 0xF0 && lead <= 0xF4) { extra = 3; minimum = 0x10000; code = lead & 0x07; }
      size_t taken = 0;
      while (extra && taken < extra && i + 1 + taken < size && (text[i + 1 + taken] & 0xC0) == 0x80) {
        code = (code << 6) | (text[i + 1 + taken] & 0x3F);
        ++taken;
      }
      // A broken sequence gives one replacement and resumes at the first byte that did not fit.
      if (extra == 0 || taken < extra || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        code = 0xFFFD;
        length = 1 + taken;
      } else {
        length = 1 + extra;
      }
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      result.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return result;
}

std::string Utf16ToUtf8(const std::u16string& AText) {
  std::string result;
  result.reserve(AText.size());
  for (size_t i = 0; i < AText.size(); ++i) {
    char32_t code = AText[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 && AText[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (AText[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      result.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      result.push_back(static_cast<char>(0xC0 | (code >> 6)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      result.push_back(static_cast<char>(0xE0 | (code >> 12)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      result.push_back(static_cast<char>(0xF0 | (code >> 18)));
      result.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return result;
}

uint32_t WriteUtf16String(IStream* AStream, const std::string& AText) {
  const std::u16string units = Utf8ToUtf16(AText);
  if (units.size() > std::numeric_limits<uint32_t>::max() / 2)
    throw ELumetaError("String too long for the stream", STG_E_WRITEFAULT);
  const auto byteCount = static_cast<uint32_t>(units.size() * 2);
  std::vector<uint8_t> bytes(4 + size_t(byteCount));
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(byteCount >> (8 * i));
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[4 + 2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
    bytes[5 + 2 * i] = static_cast<uint8_t>(units[i] >> 8);
  }
  WriteBuffer(AStream, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return static_cast<uint32_t>(bytes.size());
}

std::string ReadUtf16String(IStream* AStream, uint32_t* ABytesRead) {
  uint8_t head[4];
  ReadBuffer(AStream, head, 4);
  const uint32_t byteCount = uint32_t(head[0]) | uint32_t(head[1]) << 8 | uint32_t(head[2]) << 16 | uint32_t(head[3]) << 24;
  if (byteCount % 2) throw ELumetaError("Stream read error: odd UTF-16 byte count", STG_E_READFAULT);
  // Read in bounded pieces so that a corrupt count cannot make us allocate gigabytes up front.
  std::u16string units;
  uint8_t chunk[4096];
  for (uint32_t left = byteCount; left > 0;) {
    const uint32_t piece = std::min<uint32_t>(left, sizeof chunk);
    ReadBuffer(AStream, chunk, piece);
    for (uint32_t i = 0; i < piece; i += 2) units.push_back(static_cast<char16_t>(chunk[i] | chunk[i + 1] << 8));
    left -= piece;
  }
  if (ABytesRead) *ABytesRead = 4 + byteCount;
  return Utf16ToUtf8(units);
}
