#include "BagTestSupport.h"

#include <sys/mount.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include "ChildProcess.h"
#include "LinuxTestSupport.h"

namespace dravolin::lnx::test {

namespace fs = std::filesystem;

bool StepIo::Hit(Step step) {
    const int n = ++calls[static_cast<std::size_t>(step)];
    const int any = ++calls[static_cast<std::size_t>(Step::Any)];
    if (at == 0 || (kind == Step::Any ? any : kind == step ? n : 0) != at) return false;
    if (crash) std::_Exit(0);
    errno = error;
    return true;
}

ssize_t StepIo::Read(int fd, void* buffer, std::size_t length, off_t offset) {
    return Hit(Step::Read) ? -1 : FaultyIo::Read(fd, buffer, length, offset);
}

ssize_t StepIo::Write(int fd, const void* buffer, std::size_t length, off_t offset) {
    return Hit(Step::Write) ? -1 : FaultyIo::Write(fd, buffer, length, offset);
}

int StepIo::DataSync(int fd) {
    return Hit(Step::DataSync) ? -1 : FaultyIo::DataSync(fd);
}

int StepIo::SyncFileSystem(int fd) {
    return Hit(Step::SyncFs) ? -1 : FaultyIo::SyncFileSystem(fd);
}

int StepIo::RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    return Hit(Step::Rename) ? -1 : FaultyIo::RenameNoReplace(fromDir, from, toDir, to);
}

std::string DecodedPath(const std::string& path) {
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() &&
            std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
            decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    return decoded;
}

std::map<std::string, std::string> ManifestOf(const std::string& text) {
    std::map<std::string, std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 67 || line.substr(64, 2) != "  ") return {};
        lines[DecodedPath(line.substr(66))] = line.substr(0, 64);
    }
    return lines;
}

bool Sha256sumAccepts(const std::string& folder, const std::string& manifest) {
    std::string output;
    const int status = RunProgram(
        {"sh", "-c", "cd \"$1\" && sha256sum --strict -c \"$2\"", "sh", folder, manifest}, &output);
    return status == 0;
}

bool BagitPythonValidates(const std::string& bag, std::string* said) {
    return RunProgram({"python3", "-B", DRAVOLIN_BAGIT_VALIDATE, bag}, said) == 0;
}

::testing::AssertionResult BagChecks(const std::string& bag, bool withBagitPython) {
    if (!Sha256sumAccepts(bag, "tagmanifest-sha256.txt")) {
        return ::testing::AssertionFailure() << "the tag manifest does not check";
    }
    const std::map<std::string, std::string> manifest =
        ManifestOf(ReadFile(bag + "/manifest-sha256.txt"));
    std::uint64_t bytes = 0, files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(bag + "/data")) {
        if (!entry.is_regular_file()) continue;
        const std::string path = entry.path().string().substr(bag.size() + 1);
        ++files;
        bytes += entry.file_size();
        std::string sum;
        RunProgram({"sha256sum", entry.path().string()}, &sum);
        const auto it = manifest.find(path);
        if (it == manifest.end() || sum.find(it->second) == std::string::npos) {
            return ::testing::AssertionFailure() << path << " is not in the manifest as it is";
        }
    }
    if (files != manifest.size()) {
        return ::testing::AssertionFailure() << "the manifest lists files the bag lacks";
    }
    const std::string oxum = std::to_string(bytes) + "." + std::to_string(files);
    if (ReadFile(bag + "/bag-info.txt").find("\nPayload-Oxum: " + oxum + "\n") ==
        std::string::npos) {
        return ::testing::AssertionFailure() << "Payload-Oxum is not " << oxum;
    }
    if (std::string said; withBagitPython && !BagitPythonValidates(bag, &said)) {
        return ::testing::AssertionFailure() << "bagit-python finds it invalid: " << said;
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectNoProblemsOnSmallDisk(const std::string& folder, const char* size,
                                 const std::function<std::string()>& problems) {
    const ChildResult child = RunInChild([&](std::string& message) {
        if (!OwnMountNamespace(message)) return kChildCannot;
        const std::string options = std::string("size=") + size;
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            message = "cannot mount a tmpfs";
            return kChildCannot;
        }
        message = problems();
        return message.empty() ? 0 : 1;
    });
    if (child.status == kChildCannot) GTEST_SKIP() << child.message;
    EXPECT_EQ(child.status, 0) << child.message;
}

}  // namespace dravolin::lnx::test
