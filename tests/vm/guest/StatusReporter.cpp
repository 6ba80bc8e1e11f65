#include "StatusReporter.h"

#include <cstdio>
#include <string>
#include "engine/DriveEntry.h"

namespace dravolin::vm {

namespace {

const char* StateName(int state) {
    switch (state) {
        case Idle:
            return "Idle";
        case Ejecting:
            return "Ejecting";
        case Waiting:
            return "Waiting";
        case Copying:
            return "Copying";
        default:
            return "None";
    }
}

// The row shows "LABEL (D:)" for a readable disc; the label is what precedes the letter.
std::string LabelOf(const std::string& rowText, char letter) {
    const std::string suffix = std::string(" (") + letter + ":)";
    if (rowText.size() >= suffix.size() &&
        rowText.compare(rowText.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return rowText.substr(0, rowText.size() - suffix.size());
    }
    return rowText;
}

}  // namespace

// UI thread only.
void StatusReporter::Report() {
    const auto& rows = list_.Rows();
    if (seen_.size() < rows.size()) seen_.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const DriveEntry* entry = rows[i].param;
        if (!entry) continue;
        const std::string drive = std::string("DRV ") + entry->letter;
        Seen& seen = seen_[i];
        if (entry->serial != seen.serial) {
            seen.serial = entry->serial;
            if (entry->serial == 0) {
                console_->Line(drive + " nodisc");
            } else {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08x", entry->serial);
                console_->Line(drive + " label " + LabelOf(rows[i].text, entry->letter) +
                               " serial " + hex);
            }
        }
        if (entry->state != seen.state) {
            seen.state = entry->state;
            console_->Line(drive + " state " + StateName(entry->state));
        }
        const int ticked = list_.Ticked(static_cast<int>(i)) ? 1 : 0;
        if (ticked != seen.ticked) {
            seen.ticked = ticked;
            console_->Line(drive + (ticked ? " ticked" : " unticked"));
        }
    }
}

}  // namespace dravolin::vm
