#pragma once
// An I/O seam that fails or ends the process at a chosen call, and checks of a finished bag.
#include <array>
#include <cerrno>
#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <gtest/gtest.h>
#include "CopyTestSupport.h"

namespace dravolin::lnx::test {

enum class Step { Read, Write, DataSync, SyncFs, Rename, Any, kCount };

class StepIo : public FaultyIo {
  public:
    Step kind = Step::Any;
    int at = 0;          // the call of `kind` that fails (EIO); 0: none
    int error = EIO;     // the errno of the failing call
    bool crash = false;  // ...or ends the process there, as a power cut or a kill would
    std::array<std::atomic<int>, static_cast<std::size_t>(Step::kCount)> calls{};

    ssize_t Read(int fd, void* buffer, std::size_t length, off_t offset) override;
    ssize_t Write(int fd, const void* buffer, std::size_t length, off_t offset) override;
    int DataSync(int fd) override;
    int SyncFileSystem(int fd) override;
    int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) override;
    int Count(Step step) const { return calls[static_cast<std::size_t>(step)]; }

  private:
    bool Hit(Step step);
};

// A manifest path with its percent-encoding undone.
std::string DecodedPath(const std::string& path);

// "path" -> "hash" of a manifest's lines, paths decoded; empty on a malformed line.
std::map<std::string, std::string> ManifestOf(const std::string& text);

// Runs `sha256sum -c FILE` in `folder`: true when every line checks.
bool Sha256sumAccepts(const std::string& folder, const std::string& manifest);

// Whether bagit-python, the field's own validator (carried in tests/third_party), finds the bag
// valid; what it said goes to `said`.
bool BagitPythonValidates(const std::string& bag, std::string* said = nullptr);

// Whether the bag at `bag` checks in full: sha256sum -c accepts the tag manifest, and every
// payload file is in the payload manifest with its digest as sha256sum computes it (each file
// on its own, as names with CR, LF or '%' cannot be checked by sha256sum -c), and nothing else
// is; Payload-Oxum counts the payload's bytes and files; and, unless told otherwise,
// bagit-python validates it.
::testing::AssertionResult BagChecks(const std::string& bag, bool withBagitPython = true);

// Runs `problems` in a child where `folder` is a tmpfs of `size` (as mount(8) takes it,
// "256k"), and expects it to find none; the test is skipped where no mount namespace or tmpfs
// can be had.
void ExpectNoProblemsOnSmallDisk(const std::string& folder, const char* size,
                                 const std::function<std::string()>& problems);

// Names in `folder` itself, hidden ones included.
std::vector<std::string> EntriesOf(const std::string& folder);

}  // namespace dravolin::lnx::test
