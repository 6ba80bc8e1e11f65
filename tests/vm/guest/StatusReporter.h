#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "Console.h"
#include "platform/fake/FakeControls.h"

namespace dravolin::vm {

// Prints what changed in the dialog's rows since the last look, one line per change:
//   "DRV D state Waiting", "DRV D label DATA1 serial 1a2b3c4d", "DRV D nodisc",
//   "DRV D ticked", "DRV D unticked".
// UI thread only: it reads the records the way the dialog does, between polls.
class StatusReporter {
  public:
    StatusReporter(std::shared_ptr<Console> console, const fake::FakeListView& list)
        : console_(std::move(console)), list_(list) {}

    void Report();

  private:
    struct Seen {
        int state = -2;
        std::uint32_t serial = 0xFFFFFFFEu;  // never a real one: the first look always prints
        int ticked = -1;
    };
    std::shared_ptr<Console> console_;
    const fake::FakeListView& list_;
    std::vector<Seen> seen_;
};

}  // namespace dravolin::vm
