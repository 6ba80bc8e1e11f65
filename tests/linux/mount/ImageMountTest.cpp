// Disc images mounted read-only on a loop device of this machine's kernel.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>
#include "LinuxTestSupport.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/mount/ImageMount.h"
#include "platform/linux/mount/ReadOnlyMount.h"

namespace dravolin::lnx::test {
namespace {

// The loop devices bound to `image` now, by the kernel's own record of their backing files.
std::vector<std::string> LoopsOf(const std::string& image) {
    std::vector<std::string> loops;
    char real[PATH_MAX];
    if (!::realpath(image.c_str(), real)) return loops;
    DIR* blocks = ::opendir("/sys/block");
    if (!blocks) return loops;
    while (const dirent* entry = ::readdir(blocks)) {
        const std::string name = entry->d_name;
        if (name.rfind("loop", 0) != 0) continue;
        if (ReadFile("/sys/block/" + name + "/loop/backing_file") == std::string(real) + "\n") {
            loops.push_back(name);
        }
    }
    ::closedir(blocks);
    return loops;
}

// mount(2) that says yes, noting what it was asked to mount and what that device was bound to.
class WatchingMountCalls : public MountCalls {
  public:
    explicit WatchingMountCalls(std::string image) : image_(std::move(image)) {}
    int Mount(const std::string& source, const std::string&, const std::string& fsType,
              unsigned long flags) override {
        const std::string name = source.substr(source.rfind('/') + 1);
        const bool readOnly = ReadFile("/sys/block/" + name + "/ro") == "1\n";
        seen = fsType + (flags == kReadOnlyFlags ? " read-only flags" : " other flags") +
               (LoopsOf(image_) == std::vector<std::string>{name} ? ", bound" : ", not bound") +
               (readOnly ? " read-only" : " writable");
        return 0;
    }
    int Unmount(const std::string&, int flags) override {
        seen += flags == 0 ? ", unmounted" : ", unmounted with flags";
        return 0;
    }
    std::string seen;

  private:
    std::string image_;
};

// As root, without UDisks2: a free loop device bound read-only, mount(2) in a fresh private
// folder; the loop device goes with the mount or at once when no file system takes it.
TEST(ImageMounts, AnImageIsReadOnALoopDeviceThatGoesWithItsMount) {
    if (::access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "no /dev/loop-control";
    TempFolder temp;
    MakeFolder(temp / "files");
    WriteFile(temp / "files/file.txt", "from the image");
    MakeFolder(temp / "run");
    struct Case {
        const char* name;
        bool iso;        // an ISO 9660 image, else bytes that are no file system
        bool realMount;  // mount(2) itself, else WatchingMountCalls
        bool mounted;
        const char* seen;  // by WatchingMountCalls
    };
    std::string skipped;
    for (const Case& c : {
             Case{"no file system", false, true, false, ""},
             Case{"mount(2) stand-in", false, false, true,
                  "udf read-only flags, bound read-only, unmounted"},
             Case{"iso9660", true, true, true, ""},
         }) {
        SCOPED_TRACE(c.name);
        const std::string image = temp / "image";
        ::unlink(image.c_str());
        if (!c.iso) WriteFile(image, Pattern(8 * 2048, 7));
        if (c.iso) {
            std::string output;
            const int made =
                RunProgram({"sh", "-c",
                            "if command -v xorriso; then xorriso -as mkisofs -quiet -o \"$0\" "
                            "\"$1\"; elif command -v genisoimage; then genisoimage -quiet -o "
                            "\"$0\" \"$1\"; else exit 77; fi",
                            image, temp / "files"},
                           &output);
            if (made == 77) {
                skipped += "neither xorriso nor genisoimage; ";
                continue;
            }
            ASSERT_EQ(made, 0) << output;
        }
        // Writable, so that only the loop device's own flag keeps the image unwritten.
        UniqueFd fd(::open(image.c_str(), O_RDWR | O_CLOEXEC));
        ASSERT_TRUE(fd);
        auto watching = std::make_shared<WatchingMountCalls>(image);
        std::shared_ptr<MountCalls> calls =
            c.realMount ? std::make_shared<MountCalls>() : std::shared_ptr<MountCalls>(watching);
        ImageMount::Options options;
        options.useUDisks2 = false;
        options.privateMountRoot = temp / "run";
        {
            ImageMount mount = ImageMount::Mount(fd.Get(), options, calls);
            if (c.iso && !mount.ok() &&
                (mount.Error().find(ErrorText(EPERM)) != std::string::npos ||
                 mount.Error().find(ErrorText(ENODEV)) != std::string::npos)) {
                skipped += "this kernel mounts no ISO 9660 image here: " + mount.Error() + "; ";
                continue;
            }
            ASSERT_EQ(mount.ok(), c.mounted) << mount.Error();
            EXPECT_EQ(mount.Error().empty(), c.mounted);
            EXPECT_EQ(mount.Folder().rfind(temp / "run/", 0) == 0, c.mounted) << mount.Folder();
            if (c.iso) {
                EXPECT_EQ(ReadFile(mount.Folder() + "/file.txt"), "from the image");
                EXPECT_EQ(LoopsOf(image).size(), 1u);
            }
        }
        EXPECT_EQ(watching->seen, c.seen);
        EXPECT_EQ(LoopsOf(image), std::vector<std::string>{});
        EXPECT_EQ(Snapshot(temp / "run"), (std::map<std::string, std::string>{}));
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

}  // namespace
}  // namespace dravolin::lnx::test
