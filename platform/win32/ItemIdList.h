#pragma once
// An item-ID list owned through the shell's task allocator, which frees it.
#include <utility>
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

class ItemIdList {
  public:
    explicit ItemIdList(IMalloc* allocator) : allocator_(allocator) {}
    ItemIdList(IMalloc* allocator, LPITEMIDLIST list) : allocator_(allocator), list_(list) {}
    ~ItemIdList() { Reset(); }
    ItemIdList(ItemIdList&& other) noexcept
        : allocator_(other.allocator_), list_(std::exchange(other.list_, nullptr)) {}
    ItemIdList& operator=(ItemIdList&&) = delete;
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;

    LPITEMIDLIST Get() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }
    // For an out-parameter: frees what is held and hands out the slot.
    LPITEMIDLIST* Put() {
        Reset();
        return &list_;
    }
    void Reset() {
        if (list_ != nullptr && allocator_ != nullptr) allocator_->Free(list_);
        list_ = nullptr;
    }

  private:
    IMalloc* allocator_;
    LPITEMIDLIST list_ = nullptr;
};

}  // namespace dravolin::win32
