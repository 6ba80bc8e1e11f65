#pragma once
#include <cstdint>
#include <string>
#include "platform/ImageList.h"
#include "platform/Types.h"

namespace dravolin {

struct DriveEntry;

// The report-style list of drives (list-view control). Rows carry a DriveEntry as parameter;
// the list never owns it.
class ListView {
  public:
    virtual ~ListView() = default;
    virtual std::uint32_t GetExtendedStyle() const = 0;
    virtual void SetExtendedStyle(std::uint32_t styles) = 0;
    virtual Rect GetClientRect() const = 0;
    virtual int InsertColumn(int column, const std::string& title, int width) = 0;
    // Attaches a list the control does not own or destroy.
    virtual void SetImageList(ImageList* images, int which) = 0;
    virtual int GetItemCount() const = 0;
    // Inserts a row with only its parameter set (LVIF_PARAM); returns its index or -1.
    virtual int InsertItem(int row, DriveEntry* param) = 0;
    virtual DriveEntry* GetItemParam(int row) const = 0;
    // Text and image of column 0 in one update (LVIF_TEXT | LVIF_IMAGE).
    virtual bool SetItemTextAndImage(int row, const std::string& text, int image) = 0;
    virtual bool SetItemText(int row, int column, const std::string& text) = 0;
    virtual std::uint32_t GetItemState(int row, std::uint32_t mask) const = 0;
    virtual bool SetItemState(int row, std::uint32_t state, std::uint32_t mask) = 0;
    virtual Point ScreenToClient(Point screen) const = 0;
    // Row under a client point, -1 for none (LVM_HITTEST).
    virtual int HitTest(Point client) const = 0;
};

}  // namespace dravolin
