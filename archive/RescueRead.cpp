#include "archive/RescueRead.h"

#include <algorithm>
#include <optional>
#include <vector>
#include "archive/Recovery.h"

namespace dravolin::archive {

namespace {

class Rescue {
  public:
    Rescue(RescueMap& map, SectorSource& disc, ImageSink& image, const RescueHooks& hooks,
           std::span<const ByteRange> gaps)
        : map_(map), disc_(disc), image_(image), hooks_(hooks), gaps_(gaps) {
        // The skip grows to a hundredth of the disc: far enough to leave a scratch soon, near
        // enough that the second pass finds little to read.
        maxSkip_ = std::max(kRecoveryStep, map.Extent() / 100 / kSector * kSector);
    }

    RescueResult Run() {
        std::optional<RescueEnd> end;
        if (!(end = Copy(1, true)) && !(end = Copy(2, false)) && !(end = Trim()) &&
            !(end = Scrape())) {
            end = RescueEnd::Finished;
            at_ = MapProgress{0, '+', at_.pass};
        }
        return RescueResult{*end, at_};
    }

  private:
    enum class Outcome { Read, Failed, End };

    // Reads the non-tried areas in large requests; with `skipping`, past a failure the read goes
    // on further ahead each time, leaving what it skipped untried for the next pass.
    std::optional<RescueEnd> Copy(int pass, bool skipping) {
        std::uint64_t skip = 0;
        for (std::uint64_t pos = 0; auto block = NextToRead(pos);) {
            const std::uint64_t size =
                std::min<std::uint64_t>(block->size, kRescueRequestSectors * kSector);
            const Outcome outcome = Request(block->pos, size, BlockState::NonTrimmed,
                                            MapProgress{block->pos, '?', pass});
            if (outcome == Outcome::End) return end_;
            pos = block->pos + size;
            if (outcome == Outcome::Failed && skipping) {
                skip = skip == 0 ? kRecoveryStep : std::min(maxSkip_, skip * 2);
                pos += skip;
            } else if (outcome == Outcome::Read) {
                skip = 0;
            }
        }
        return std::nullopt;
    }

    // The untried bytes from `pos` on, up to the next gap; a gap is stepped over.
    std::optional<MapBlock> NextToRead(std::uint64_t pos) const {
        for (;;) {
            std::optional<MapBlock> block = map_.NextFrom(pos, BlockState::NonTried);
            if (!block) return block;
            const auto in = std::find_if(gaps_.begin(), gaps_.end(), [&](const ByteRange& gap) {
                return gap.begin <= block->pos && block->pos < gap.end;
            });
            if (in == gaps_.end()) {
                for (const ByteRange& gap : gaps_) {
                    if (block->pos < gap.begin && gap.begin < block->end()) {
                        block->size = gap.begin - block->pos;
                    }
                }
                return block;
            }
            pos = in->end;
        }
    }

    // Each failed request read sector by sector from its front until one fails, then from its
    // back; what lies between waits for the scraping.
    std::optional<RescueEnd> Trim() {
        for (std::uint64_t pos = 0; auto block = map_.NextFrom(pos, BlockState::NonTrimmed);) {
            std::uint64_t front = block->pos, back = block->end();
            while (front < back) {
                const Outcome outcome = Sector(front, '*');
                if (outcome == Outcome::End) return end_;
                front += kSector;
                if (outcome == Outcome::Failed) break;
            }
            while (front < back) {
                const Outcome outcome = Sector(back - kSector, '*');
                if (outcome == Outcome::End) return end_;
                back -= kSector;
                if (outcome == Outcome::Failed) break;
            }
            if (front < back) map_.Mark(front, back - front, BlockState::NonScraped);
            pos = block->end();
        }
        return std::nullopt;
    }

    std::optional<RescueEnd> Scrape() {
        for (std::uint64_t pos = 0; auto block = map_.NextFrom(pos, BlockState::NonScraped);) {
            for (std::uint64_t at = block->pos; at < block->end(); at += kSector) {
                if (Sector(at, '/') == Outcome::End) return end_;
            }
            pos = block->end();
        }
        return std::nullopt;
    }

    Outcome Sector(std::uint64_t pos, char phase) {
        return Request(pos, std::min(kSector, map_.Extent() - pos), BlockState::Bad,
                       MapProgress{pos, phase, 1});
    }

    // One read of `size` bytes at `pos` into the image; the map marks them rescued, or
    // `failed` when the drive did not deliver them.
    Outcome Request(std::uint64_t pos, std::uint64_t size, BlockState failed, MapProgress at) {
        at_ = at;
        if (hooks_.stop && hooks_.stop()) {
            end_ = RescueEnd::Stopped;
            return Outcome::End;
        }
        const auto sectors = static_cast<std::uint32_t>((size + kSector - 1) / kSector);
        buffer_.resize(sectors * kSector);
        const bool read = disc_.Read(pos / kSector, sectors, buffer_);
        if (read && !image_.Write(pos, std::span(buffer_).first(size))) {
            end_ = RescueEnd::TargetFailed;
            return Outcome::End;
        }
        map_.Mark(pos, size, read ? BlockState::Rescued : failed);
        if (hooks_.progress) hooks_.progress(map_, at_);
        return read ? Outcome::Read : Outcome::Failed;
    }

    RescueMap& map_;
    SectorSource& disc_;
    ImageSink& image_;
    const RescueHooks& hooks_;
    std::span<const ByteRange> gaps_;
    std::uint64_t maxSkip_ = 0;
    std::vector<std::byte> buffer_;
    MapProgress at_;
    RescueEnd end_ = RescueEnd::Finished;
};

}  // namespace

RescueResult RescueRead(RescueMap& map, SectorSource& disc, ImageSink& image,
                        const RescueHooks& hooks, std::span<const ByteRange> gaps) {
    return Rescue(map, disc, image, hooks, gaps).Run();
}

}  // namespace dravolin::archive
