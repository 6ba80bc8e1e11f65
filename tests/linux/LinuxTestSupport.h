#pragma once
// Real folders and files under a fresh temporary folder, for the Linux service tests.
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>
#include "platform/linux/store/StoreFormat.h"

namespace dravolin::lnx::test {

// A fresh folder, removed with everything in it when the object goes.
class TempFolder {
  public:
    // Under the system's temporary folder, or under `parent` when given.
    explicit TempFolder(const std::string& parent = "");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes, unsigned mode = 0644);
std::string ReadFile(const std::string& path);
void MakeFolder(const std::string& path);
// Deterministic bytes that differ with `seed` and position.
std::string Pattern(std::size_t size, unsigned seed);

// Every entry below `root`, relative path -> "D" for a folder, "L" for a link, "F:" + bytes
// for a file, "S" for anything else.
std::map<std::string, std::string> Snapshot(const std::string& root);

// A folder in memory (tmpfs) for trees too big to make and remove quickly on a busy disk, or
// the system's temporary folder where there is none or it has too little room.
std::string MemoryFolder();

// Names in `folder` (recursively) that look like the copy engine's temporary files.
std::vector<std::string> TempLeftovers(const std::string& folder);

// Runs a program to completion; its exit status, or -1.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr);

// Store values of every kind: strings with and without NUL bytes, empty data, empty names,
// another root, data longer than a path.
std::vector<StoreRecord> SampleStoreRecords();

// Runs `body` in a forked child and waits for it: what `body` returned, 128 + the signal that
// ended the child, or -1.
int RunChild(const std::function<int()>& body);

}  // namespace dravolin::lnx::test

namespace dravolin::lnx {
// Records in test failures: their fields, not their bytes in memory.
void PrintTo(const StoreRecord& record, std::ostream* out);
}  // namespace dravolin::lnx
