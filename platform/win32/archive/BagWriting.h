#pragma once
// The bag writer as the archiver calls it, so that tests can put a fake in its place.
#include <functional>
#include <memory>
#include <string>
#include "platform/win32/archive/Win32BagWriter.h"

namespace dravolin::win32 {

class BagWriting {
  public:
    virtual ~BagWriting() = default;
    virtual BagOutcome Build(const BagRequest& request, BagProgress& progress) = 0;
    virtual Win32BagWriter::Published Publish(const std::wstring& name, unsigned long* error) = 0;
};

// A new writer for each disc.
using BagWriterFactory = std::function<std::unique_ptr<BagWriting>()>;

}  // namespace dravolin::win32
