#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include "archive/BagName.h"

namespace dravolin::win32 {

// The program's own lines of bag-info.txt, label and value in UTF-8, in this order.
using BagFields = std::vector<std::pair<std::string, std::string>>;

// One disc to be made a bag.
struct BagRequest {
    std::wstring discRoot;      // the disc's root folder, L"D:\\"
    std::wstring targetFolder;  // where the bags go; made when missing
    std::string label;          // the volume label in UTF-8: External-Identifier
    BagFields fields;
    // The disc's time budget: past it the copy stops, and the bag keeps what it holds, as an
    // incomplete one.
    std::optional<std::chrono::steady_clock::time_point> readUntil = std::nullopt;
};

// The copy's face: called on the copying thread between blocks and at each new file.
class BagProgress {
  public:
    virtual ~BagProgress() = default;
    // False stops the copy: the outcome is Failed and cancelled.
    virtual bool OnProgress(std::uint64_t bytesDone, std::uint64_t bytesTotal,
                            const std::wstring& file) = 0;
};

enum class BagResult { Complete, Incomplete, Failed };

struct BagOutcome {
    BagResult result = BagResult::Failed;
    bool cancelled = false;  // with Failed: the progress said stop
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t damagedFiles = 0;
    bool budgetSpent = false;  // with Incomplete: the disc's time budget ended the copy
    bool targetFull = false;   // the target disk was full: the bag holds what fit, if anything
    std::string summary;       // UTF-8: what the disc held that no bag takes
    unsigned long error = 0;   // with Failed: the system's error of the step that failed
    std::wstring failedPath;   // and the path it failed on
};

// Makes one disc a BagIt bag in the target folder with Win32 file calls: an archive copy,
// hashed, read errors recovered, nothing asked, under a temporary name no finished bag has;
// Publish gives it its name. A bag that is not published is removed when the writer goes.
class Win32BagWriter {
  public:
    Win32BagWriter();
    ~Win32BagWriter();
    Win32BagWriter(const Win32BagWriter&) = delete;
    Win32BagWriter& operator=(const Win32BagWriter&) = delete;

    // Once per writer.
    BagOutcome Build(const BagRequest& request, BagProgress& progress);

    using Published = archive::Published;
    // Renames a Complete or Incomplete bag to `name`, never over anything: NameTaken lets the
    // caller try the next name.
    Published Publish(const std::wstring& name, unsigned long* error = nullptr);

    // Where the bag is being built; empty before.
    std::wstring BuildingPath() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace dravolin::win32
