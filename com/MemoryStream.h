#pragma once
// An in-memory IStream and the helpers that read and write whole values on any IStream.
#include <cstdint>
#include <string>
#include <vector>

#include "com/StreamIntf.h"
#include "com/AggregableObject.h"

// A growable byte buffer with a position. Reading past the end answers fewer bytes; writing or
// seeking past the end is allowed, and a write there fills the gap with zeros.
class TMemoryStream : public TImplements<TAggregableObject, ISequentialStream, IStream> {
 public:
  TMemoryStream() noexcept;
  // Starts with AData at position 0.
  explicit TMemoryStream(std::vector<uint8_t> AData);

  uint32_t Read(void* ABuffer, uint32_t ACount) override;
  uint32_t Write(const void* ABuffer, uint32_t ACount) override;
  // Raises ELumetaError (E_INVALIDARG) for a position before the start.
  uint64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  // Cuts or zero-extends; the position stays where it was.
  void SetSize(uint64_t ASize) override;
  uint64_t GetSize() override;

  const std::vector<uint8_t>& Data() const noexcept { return FData; }
  uint64_t Position() const noexcept { return FPosition; }

 private:
  std::vector<uint8_t> FData;
  uint64_t FPosition = 0;
};

// Exactly ACount bytes or an ELumetaError (STG_E_READFAULT / STG_E_WRITEFAULT).
void ReadBuffer(IStream* AStream, void* ABuffer, uint32_t ACount);
void WriteBuffer(IStream* AStream, const void* ABuffer, uint32_t ACount);

// The stream's current position.
uint64_t StreamPosition(IStream* AStream);

// Strings as a uint32 byte count followed by that many bytes of UTF-16LE units. UTF-8 that is not
// well formed is written as U+FFFD; unpaired surrogates read back as U+FFFD. Reading raises
// STG_E_READFAULT for an odd byte count or a stream that ends early.
uint32_t WriteUtf16String(IStream* AStream, const std::string& AText);
std::string ReadUtf16String(IStream* AStream, uint32_t* ABytesRead = nullptr);

// The conversions behind the stream form, for callers that need UTF-16 elsewhere.
std::u16string Utf8ToUtf16(const std::string& AText);
std::string Utf16ToUtf8(const std::u16string& AText);
