#pragma once
// The real bag writer behind the archiver's seam. Included by the program's entry only, so that
// test programs which never build a bag need not link the writer.
#include <memory>
#include "platform/win32/archive/BagWriting.h"

namespace dravolin::win32 {

class RealBagWriting : public BagWriting {
  public:
    BagOutcome Build(const BagRequest& request, BagProgress& progress) override {
        return writer_.Build(request, progress);
    }
    Win32BagWriter::Published Publish(const std::wstring& name, unsigned long* error) override {
        return writer_.Publish(name, error);
    }

  private:
    Win32BagWriter writer_;
};

inline BagWriterFactory RealBagWriters() {
    return [] { return std::make_unique<RealBagWriting>(); };
}

}  // namespace dravolin::win32
