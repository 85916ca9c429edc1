#pragma once
// Binary streams and stream persistence, shaped after the standard COM interfaces. Failures are
// exceptions (ELumetaError with STG_E_READFAULT or STG_E_WRITEFAULT).
#include <cstdint>

#include "com/Unknown.h"

enum class TSeekOrigin { Begin, Current, End };

struct ISequentialStream : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0C733A30-2A1C-11CE-ADE5-00AA0044773D");
  // Reads up to ACount bytes; answers how many were read (fewer at the end of the stream).
  virtual uint32_t Read(void* ABuffer, uint32_t ACount) = 0;
  // Writes ACount bytes; answers how many were written.
  virtual uint32_t Write(const void* ABuffer, uint32_t ACount) = 0;
};

struct IStream : virtual ISequentialStream {
  static constexpr GUID Iid = MakeGuid("0000000C-0000-0000-C000-000000000046");
  // Moves the position and answers the new one.
  virtual uint64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) = 0;
  virtual void SetSize(uint64_t ASize) = 0;
  virtual uint64_t GetSize() = 0;
};

struct IPersist : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0000010C-0000-0000-C000-000000000046");
  virtual GUID GetClassID() = 0;
};

struct IPersistStream : virtual IPersist {
  static constexpr GUID Iid = MakeGuid("00000109-0000-0000-C000-000000000046");
  virtual bool IsDirty() = 0;
  virtual void Load(IStream* AStream) = 0;
  virtual void Save(IStream* AStream, bool AClearDirty) = 0;
  virtual uint64_t GetSizeMax() = 0;
};
