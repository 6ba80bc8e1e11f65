#pragma once
// Conversion of an ANSI path to UTF-16 for the shell's namespace, in the thread's ANSI code
// page. Paths up to 127 characters use the object's own buffer; longer ones a heap block.
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

// The thread's ANSI code page as the conversion names it. The choice is made at the first
// conversion and kept, so the version test runs once: CP_THREAD_ACP on Windows NT 5.0 and
// later, otherwise the thread locale's default ANSI code page, or GetACP() when that cannot be
// read or reads as 0. Any thread.
class ThreadAnsiCodePage {
  public:
    UINT Get();

  private:
    std::atomic<UINT> chosen_{0};
};

// A failed conversion, with the system's error as an HRESULT.
class ConversionError : public std::runtime_error {
  public:
    explicit ConversionError(HRESULT result)
        : std::runtime_error("MultiByteToWideChar failed"), result_(result) {}
    HRESULT Result() const { return result_; }

  private:
    HRESULT result_;
};

class AnsiToWide {
  public:
    static constexpr int kInlineUnits = 128;
    // Throws ConversionError when the conversion fails, std::bad_alloc when a long path's
    // block cannot be allocated.
    AnsiToWide(const char* text, UINT codePage);
    AnsiToWide(const AnsiToWide&) = delete;
    AnsiToWide& operator=(const AnsiToWide&) = delete;

    LPWSTR Get() { return text_; }
    bool UsesHeap() const { return heap_ != nullptr; }

  private:
    WCHAR inline_[kInlineUnits];
    std::unique_ptr<WCHAR[]> heap_;
    LPWSTR text_ = inline_;
};

// A Win32 error as an HRESULT: a positive code becomes its low 16 bits or'ed with 0x80070000,
// zero and negative values pass unchanged.
HRESULT HResultFromError(DWORD error);

}  // namespace dravolin::win32
