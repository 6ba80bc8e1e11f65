#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <climits>
#include <cstdlib>
#include <memory>
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/order/layout/LibraryFileStarts.h"

#include <libisofs/libisofs.h>

namespace dravolin::lnx {

namespace {

struct ImageUnref {
    void operator()(IsoImage* image) const { iso_image_unref(image); }
};
struct SourceUnref {
    void operator()(IsoDataSource* source) const { iso_data_source_unref(source); }
};
struct OptsFree {
    void operator()(IsoReadOpts* opts) const { iso_read_opts_free(opts); }
};
struct IterFree {
    void operator()(IsoDirIter* iter) const { iso_dir_iter_free(iter); }
};
struct SectionsFree {
    void operator()(iso_file_section* sections) const { std::free(sections); }
};

// The library keeps process-wide state (its message queue, the local character set): the
// helper reads one disc and ends, so it is set up once and never torn down.
bool StartLibrary() {
    // Bit 0: the process's locale is the program's to set, not the library's.
    if (iso_init_with_flag(1) < 0) return false;
    char never[] = "NEVER";
    char id[] = "dravolin";
    iso_set_msgs_severities(never, never, id);
    // Names come as the bytes the disc holds (Rock Ridge) or as UTF-8 (Joliet), as the kernel
    // shows them, whatever the locale.
    iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
    return true;
}

// The block where the last session begins, as the kernel mounts it; 0 for an image or a disc
// of one session.
std::uint32_t LastSessionStart(const std::string& device) {
    const UniqueFd fd(::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return 0;
    cdrom_multisession session{};
    session.addr_format = CDROM_LBA;
    if (::ioctl(fd.Get(), CDROMMULTISESSION, &session) != 0 || !session.xa_flag) return 0;
    return session.addr.lba > 0 ? static_cast<std::uint32_t>(session.addr.lba) : 0;
}

TreeEntry::Kind KindOf(IsoNodeType type) {
    switch (type) {
        case LIBISO_DIR:
            return TreeEntry::Kind::Folder;
        case LIBISO_FILE:
            return TreeEntry::Kind::File;
        case LIBISO_SYMLINK:
            return TreeEntry::Kind::Link;
        default:
            return TreeEntry::Kind::Special;
    }
}

bool Collect(IsoDir* dir, const std::string& prefix, int depth, std::uint64_t& budget,
             DiscTree& tree) {
    IsoDirIter* raw = nullptr;
    if (iso_dir_get_children(dir, &raw) < 0) return false;
    const std::unique_ptr<IsoDirIter, IterFree> iter(raw);
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(iter.get(), &node) == 1) {
        const char* name = iso_node_get_name(node);
        if (!name || !*name) continue;
        // Every entry counts, folders too: folders that lead into one another end here.
        if (budget == 0) return false;
        --budget;
        TreeEntry entry;
        entry.path = prefix + name;
        entry.kind = KindOf(iso_node_get_type(node));
        entry.modified = iso_node_get_mtime(node);
        if (entry.kind == TreeEntry::Kind::File) {
            IsoFile* file = reinterpret_cast<IsoFile*>(node);
            entry.size = static_cast<std::uint64_t>(iso_file_get_size(file));
            int count = 0;
            iso_file_section* sections = nullptr;
            const int got = iso_file_get_old_image_sections(file, &count, &sections, 0);
            const std::unique_ptr<iso_file_section, SectionsFree> owned(sections);
            // A file without sections stays in the tree: what its extents lack, it lacks.
            for (int i = 0; got == 1 && sections && i < count; ++i) {
                entry.extents.push_back(
                    {std::uint64_t{sections[i].block} * kLayoutBlock, sections[i].size});
            }
        }
        tree.push_back(std::move(entry));
        if (tree.back().kind == TreeEntry::Kind::Folder && depth < kLayoutMaxDepth &&
            !Collect(reinterpret_cast<IsoDir*>(node), tree.back().path + "/", depth + 1, budget,
                     tree)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<DiscTree> IsoTree(const std::string& device, std::uint64_t maxEntries,
                                std::optional<std::uint32_t> session) {
    if (!StartLibrary()) return std::nullopt;

    IsoDataSource* rawSource = nullptr;
    if (iso_data_source_new_from_file(device.c_str(), &rawSource) < 0) return std::nullopt;
    const std::unique_ptr<IsoDataSource, SourceUnref> source(rawSource);
    IsoReadOpts* rawOpts = nullptr;
    if (iso_read_opts_new(&rawOpts, 0) < 0) return std::nullopt;
    const std::unique_ptr<IsoReadOpts, OptsFree> opts(rawOpts);
    iso_read_opts_set_start_block(opts.get(), session ? *session : LastSessionStart(device));
    // The kernel's own choice of names: Rock Ridge over Joliet, ISO 9660:1999 never, plain
    // names lower-cased without their version. Nothing but the names, times and blocks is needed.
    iso_read_opts_set_preferjoliet(opts.get(), 0);
    iso_read_opts_set_no_iso1999(opts.get(), 1);
    iso_read_opts_set_ecma119_map(opts.get(), 3);
    iso_read_opts_set_no_md5(opts.get(), 1);
    iso_read_opts_set_no_aaip(opts.get(), 1);
    iso_read_opts_set_input_charset(opts.get(), "UTF-8");
    IsoImage* rawImage = nullptr;
    if (iso_image_new("disc", &rawImage) < 0) return std::nullopt;
    const std::unique_ptr<IsoImage, ImageUnref> image(rawImage);
    if (iso_image_import(image.get(), source.get(), opts.get(), nullptr) < 0) return std::nullopt;

    DiscTree tree;
    std::uint64_t budget = maxEntries;
    if (!Collect(iso_image_get_root(image.get()), "", 0, budget, tree)) return std::nullopt;
    return tree;
}

}  // namespace dravolin::lnx
