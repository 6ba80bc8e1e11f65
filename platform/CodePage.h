#pragma once

namespace dravolin {

// The system's ANSI code page: which bytes lead a double-byte character (IsDBCSLeadByte).
class CodePage {
  public:
    virtual ~CodePage() = default;
    virtual bool IsLeadByte(unsigned char byte) const = 0;
};

}  // namespace dravolin
