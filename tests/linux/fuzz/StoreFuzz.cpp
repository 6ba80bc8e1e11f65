// Feeds arbitrary bytes to the store reader. Whatever it reads must survive a write and a
// second read unchanged, and a file written from it must read back clean. Any violation traps.
#include <cstddef>
#include <cstdint>
#include <span>
#include "platform/linux/StoreFormat.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravolin::lnx;
    const ParsedStore first = ParseStore({data, size});
    const std::string written = SerializeStore(first.records);
    const ParsedStore second = ParseStore(Bytes(written));
    Check(!second.damaged);
    Check(second.records == first.records);
    Check(SerializeStore(second.records) == written);
    // No two records share a name, as the registry would not allow it.
    for (std::size_t i = 0; i < first.records.size(); ++i) {
        for (std::size_t k = i + 1; k < first.records.size(); ++k) {
            const StoreRecord& a = first.records[i];
            const StoreRecord& b = first.records[k];
            Check(!(a.root == b.root && SameName(a.key, b.key) && SameName(a.name, b.name)));
        }
    }
    return 0;
}
