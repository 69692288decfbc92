// The simulated disks' bytes: memory, file and the compact content of discarding disks.
#include <algorithm>
#include <cstring>

#include "Simulator_internal.h"

namespace sim::detail {

namespace {

// FNV-1a over 8-byte words: only chunks with the same hash are compared byte by byte.
uint64_t contentHash(const uint8_t* data, uint32_t size) {
  uint64_t h = 0xCBF29CE484222325ull ^ size;
  uint32_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    h = (h ^ word) * 0x100000001B3ull;
  }
  for (; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  return h;
}

constexpr size_t kSweepAbove = 64;  // hash buckets kept before dead chunks are swept out

}  // namespace

std::shared_ptr<const ContentMap::Chunk> ContentMap::intern(const uint8_t* data, uint32_t size) {
  if (last_ && last_->size() == size && std::memcmp(last_->data(), data, size) == 0) return last_;
  const uint64_t h = contentHash(data, size);
  auto& bucket = chunks_[h];
  std::shared_ptr<const Chunk> found;
  for (auto it = bucket.begin(); it != bucket.end();) {
    auto chunk = it->lock();
    if (!chunk) {
      it = bucket.erase(it);
      continue;
    }
    if (chunk->size() == size && std::memcmp(chunk->data(), data, size) == 0) found = chunk;
    ++it;
  }
  if (!found) {
    found = std::make_shared<const Chunk>(data, data + size);
    bucket.push_back(found);
    if (chunks_.size() > kSweepAbove) {
      for (auto it = chunks_.begin(); it != chunks_.end();) {
        auto& b = it->second;
        b.erase(std::remove_if(b.begin(), b.end(), [](const auto& w) { return w.expired(); }), b.end());
        it = b.empty() ? chunks_.erase(it) : std::next(it);
      }
    }
  }
  last_ = found;
  return found;
}

// Removes [start, end) from the pieces, keeping what lies outside it.
void ContentMap::cut(uint64_t start, uint64_t end) {
  auto it = pieces_.lower_bound(start);
  if (it != pieces_.begin()) {
    auto before = std::prev(it);
    if (before->second.end > start) it = before;
  }
  while (it != pieces_.end() && it->first < end) {
    const uint64_t pieceStart = it->first;
    Piece piece = it->second;
    it = pieces_.erase(it);
    if (pieceStart < start) pieces_[pieceStart] = {start, piece.chunk, piece.phase};
    if (piece.end > end) {
      const uint64_t phase = (piece.phase + (end - pieceStart)) % piece.chunk->size();
      it = pieces_.emplace(end, Piece{piece.end, piece.chunk, phase}).first;
      break;
    }
  }
}

// Joins the piece with its neighbours where one continues the other's repetition.
void ContentMap::mergeAround(std::map<uint64_t, Piece>::iterator it) {
  auto continues = [](uint64_t start, const Piece& a, const Piece& b) {
    return a.chunk == b.chunk && (a.phase + (a.end - start)) % a.chunk->size() == b.phase;
  };
  if (it != pieces_.begin()) {
    auto before = std::prev(it);
    if (before->second.end == it->first && continues(before->first, before->second, it->second)) {
      before->second.end = it->second.end;
      pieces_.erase(it);
      it = before;
    }
  }
  auto after = std::next(it);
  if (after != pieces_.end() && it->second.end == after->first &&
      continues(it->first, it->second, after->second)) {
    it->second.end = after->second.end;
    pieces_.erase(after);
  }
}

void ContentMap::write(uint64_t offset, const uint8_t* data, uint32_t size) {
  if (size == 0) return;
  auto chunk = intern(data, size);
  cut(offset, offset + size);
  mergeAround(pieces_.emplace(offset, Piece{offset + size, std::move(chunk), 0}).first);
}

void ContentMap::read(uint64_t offset, uint8_t* out, uint32_t size) const {
  std::memset(out, 0, size);
  const uint64_t end = offset + size;
  auto it = pieces_.upper_bound(offset);
  if (it != pieces_.begin()) --it;
  for (; it != pieces_.end() && it->first < end; ++it) {
    const Piece& p = it->second;
    uint64_t x = std::max(offset, it->first);
    const uint64_t stop = std::min(end, p.end);
    const Chunk& c = *p.chunk;
    while (x < stop) {
      const uint64_t at = (x - it->first + p.phase) % c.size();
      const uint64_t n = std::min<uint64_t>(c.size() - at, stop - x);
      std::memcpy(out + (x - offset), c.data() + at, size_t(n));
      x += n;
    }
  }
}

uint64_t ContentMap::keptBytes() const {
  std::vector<const Chunk*> seen;
  uint64_t bytes = pieces_.size() * (sizeof(Piece) + 4 * sizeof(void*));
  for (const auto& [start, p] : pieces_) {
    if (std::find(seen.begin(), seen.end(), p.chunk.get()) != seen.end()) continue;
    seen.push_back(p.chunk.get());
    bytes += p.chunk->size();
  }
  if (last_ && std::find(seen.begin(), seen.end(), last_.get()) == seen.end()) bytes += last_->size();
  return bytes;
}

uint32_t writeMedia(Media& m, uint64_t offset, const void* data, uint32_t size) {
  if (size == 0) return 0;
  std::lock_guard lock(m.lock);
  switch (m.backing) {
    case Backing::memory:
      std::memcpy(m.memory.data() + offset, data, size);
      return 0;
    case Backing::sparseFile:
      return m.file->write(offset, data, size);
    case Backing::discarding:
      m.content.write(offset, static_cast<const uint8_t*>(data), size);
      return 0;
  }
  return 0;
}

uint32_t readMedia(Media& m, uint64_t offset, void* data, uint32_t size) {
  if (size == 0) return 0;
  std::lock_guard lock(m.lock);
  switch (m.backing) {
    case Backing::memory:
      std::memcpy(data, m.memory.data() + offset, size);
      return 0;
    case Backing::sparseFile:
      return m.file->read(offset, data, size);
    case Backing::discarding:
      m.content.read(offset, static_cast<uint8_t*>(data), size);
      return 0;
  }
  return 0;
}

}  // namespace sim::detail
