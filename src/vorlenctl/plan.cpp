#include "vorlenctl/plan.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "wfapi/codes.h"

namespace ctl {

namespace {

using Lists = VolumeLists;

std::vector<std::string> Protected(const Session& session) {
  return session.protected_volumes.value_or(std::vector<std::string>{});
}

bool Contains(const std::vector<std::string>& volumes, const std::string& volume) {
  return std::find(volumes.begin(), volumes.end(), volume) != volumes.end();
}

std::vector<std::string> Keys(const std::vector<std::string>& paths) {
  std::vector<std::string> keys;
  keys.reserve(paths.size());
  for (const std::string& path : paths) keys.push_back(ExclusionKey(path));
  return keys;
}

// Whether each key is the first of its kind in the list.
std::vector<bool> FirstOfTheirKey(const std::vector<std::string>& keys) {
  std::vector<std::size_t> order(keys.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<bool> first(keys.size(), false);
  for (std::size_t i = 0; i < order.size(); ++i) first[order[i]] = i == 0 || keys[order[i]] != keys[order[i - 1]];
  return first;
}

// Removals, then additions, that turn `have` into `want`. Sorted keys, not a
// search a path: a desired list may hold a hundred thousand paths.
void ListChanges(const std::string& volume, const std::vector<std::string>& have, const std::vector<std::string>& want,
                 std::vector<PlannedCall>& calls) {
  const std::vector<std::string> have_keys = Keys(have), want_keys = Keys(want);
  const std::vector<std::string> wanted = SortedUnique(want_keys), present = SortedUnique(have_keys);
  const std::vector<bool> first_had = FirstOfTheirKey(have_keys), first_wanted = FirstOfTheirKey(want_keys);
  for (std::size_t i = 0; i < have.size(); ++i) {
    if (first_had[i] && !std::binary_search(wanted.begin(), wanted.end(), have_keys[i])) {
      calls.push_back({WfFunction::FbwfRemoveExclusion, {volume, have[i]}, std::nullopt});
    }
  }
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (first_wanted[i] && !std::binary_search(present.begin(), present.end(), want_keys[i])) {
      calls.push_back({WfFunction::FbwfAddExclusion, {volume, want[i]}, std::nullopt});
    }
  }
}

void SwitchChange(const std::optional<bool>& have, const std::optional<bool>& want, WfFunction on, WfFunction off,
                  std::vector<PlannedCall>& calls) {
  if (want && have != want) calls.push_back({*want ? on : off, {}, std::nullopt});
}

}  // namespace

std::optional<std::string> Plan(const Session& next, const Session& desired, std::vector<PlannedCall>& calls) {
  calls.clear();
  const std::vector<std::string> had = Protected(next);
  const std::vector<std::string>& wanted = desired.protected_volumes ? *desired.protected_volumes : had;
  if (desired.exclusions) {
    for (const auto& [volume, paths] : *desired.exclusions) {
      if (!Contains(wanted, volume)) return "exclusions are given for " + volume + ", which would not be protected";
    }
  }
  std::vector<PlannedCall> changes;
  SwitchChange(next.compression, desired.compression, WfFunction::FbwfEnableCompression,
               WfFunction::FbwfDisableCompression, changes);
  SwitchChange(next.preallocation, desired.preallocation, WfFunction::FbwfEnableCachePreAllocation,
               WfFunction::FbwfDisableCachePreAllocation, changes);
  if (desired.threshold_mb && (!next.threshold_mb || !SameThreshold(*next.threshold_mb, *desired.threshold_mb))) {
    changes.push_back({WfFunction::FbwfSetCacheThreshold, {}, *desired.threshold_mb});
  }
  for (const std::string& volume : wanted) {
    if (!Contains(had, volume)) changes.push_back({WfFunction::FbwfProtectVolume, {volume}, std::nullopt});
  }
  if (desired.exclusions) {
    for (const auto& [volume, paths] : *desired.exclusions) {
      const bool known = next.exclusions && next.exclusions->count(volume);
      ListChanges(volume, known ? next.exclusions->at(volume) : std::vector<std::string>{}, paths, changes);
    }
  }
  for (const std::string& volume : had) {
    if (!Contains(wanted, volume)) changes.push_back({WfFunction::FbwfUnprotectVolume, {volume}, 0u});
  }
  const bool on_next = next.filter.value_or(false);
  const bool want_on = desired.filter.value_or(on_next);
  if (!on_next && (want_on || !changes.empty())) calls.push_back({WfFunction::FbwfEnableFilter, {}, std::nullopt});
  calls.insert(calls.end(), changes.begin(), changes.end());
  if (!want_on && (on_next || !changes.empty())) calls.push_back({WfFunction::FbwfDisableFilter, {}, std::nullopt});
  return std::nullopt;
}

WfStatus Apply(Session& next, Lists& kept, const PlannedCall& call) {
  std::vector<std::string>& volumes = *next.protected_volumes;
  Lists& lists = *next.exclusions;
  const std::string volume = call.texts.empty() ? std::string() : call.texts[0];
  switch (call.function) {
    case WfFunction::FbwfEnableFilter: next.filter = true; return kWfOk;
    case WfFunction::FbwfDisableFilter: next.filter = false; return kWfOk;
    default: break;
  }
  if (!*next.filter) return kWfInvalidFunction;
  switch (call.function) {
    case WfFunction::FbwfEnableCompression: case WfFunction::FbwfDisableCompression:
      next.compression = call.function == WfFunction::FbwfEnableCompression;
      return kWfOk;
    case WfFunction::FbwfEnableCachePreAllocation: case WfFunction::FbwfDisableCachePreAllocation:
      next.preallocation = call.function == WfFunction::FbwfEnableCachePreAllocation;
      return kWfOk;
    case WfFunction::FbwfSetCacheThreshold:
      next.threshold_mb = std::min(*call.number, kThresholdCap);
      return kWfOk;
    case WfFunction::FbwfProtectVolume:
      if (!Contains(volumes, volume)) {
        volumes.push_back(volume);
        std::sort(volumes.begin(), volumes.end());
        lists[volume] = kept[volume];
      }
      return kWfOk;
    default: break;
  }
  if (!Contains(volumes, volume)) return kWfInvalidDrive;
  std::vector<std::string>& list = lists[volume];
  const std::string key = call.texts.size() > 1 ? ExclusionKey(call.texts[1]) : std::string();
  const auto same = [&](const std::string& path) { return ExclusionKey(path) == key; };
  if (call.function == WfFunction::FbwfUnprotectVolume) {
    std::erase(volumes, volume);
    kept[volume] = list;
    lists.erase(volume);
    return kWfOk;
  }
  if (call.function == WfFunction::FbwfAddExclusion) {
    if (std::none_of(list.begin(), list.end(), same)) list.push_back(call.texts[1]);
    return kWfOk;
  }
  // FbwfRemoveExclusion: the one call a plan makes that is left.
  return std::erase_if(list, same) > 0 ? kWfOk : kWfFileNotFound;
}

namespace {

// Each key and the lines that hold it, in a hash table of its own: the
// Windows builds carry no compiled part of the C++ runtime, whose hash
// tables and trees are such parts.
class KeyIndex {
 public:
  std::vector<std::size_t>* Find(const std::string& key) {
    if (buckets_.empty()) return nullptr;
    for (Entry& entry : Bucket(key)) {
      if (entry.key == key) return &entry.lines;
    }
    return nullptr;
  }
  // False when the key is there already.
  bool Insert(const std::string& key, std::size_t line) {
    if (Find(key) != nullptr) return false;
    if (count_ >= buckets_.size()) Grow();
    Bucket(key).push_back({key, {line}});
    ++count_;
    return true;
  }
  void Add(const std::string& key, std::size_t line) {
    if (std::vector<std::size_t>* lines = Find(key)) {
      lines->push_back(line);
    } else {
      Insert(key, line);
    }
  }
  void Erase(const std::string& key) {
    std::vector<Entry>& bucket = Bucket(key);
    for (Entry& entry : bucket) {
      if (entry.key != key) continue;
      std::swap(entry, bucket.back());
      bucket.pop_back();
      --count_;
      return;
    }
  }

 private:
  struct Entry {
    std::string key;
    std::vector<std::size_t> lines;
  };
  std::vector<Entry>& Bucket(const std::string& key) {
    std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
    for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    return buckets_[hash % buckets_.size()];
  }
  void Grow() {
    std::vector<std::vector<Entry>> old = std::move(buckets_);
    buckets_.assign(old.empty() ? 64 : old.size() * 2, {});
    for (std::vector<Entry>& bucket : old) {
      for (Entry& entry : bucket) Bucket(entry.key).push_back(std::move(entry));
    }
  }
  std::vector<std::vector<Entry>> buckets_;
  std::size_t count_ = 0;
};

// A volume's list while list calls are predicted: each path's key made once,
// removals marked and swept when another kind of call comes or at the end.
class ListEdits {
 public:
  explicit ListEdits(std::vector<std::string>& list) : list_(&list) {
    for (std::size_t at = 0; at < list.size(); ++at) where_.Add(ExclusionKey(list[at]), at);
  }
  WfStatus Add(const std::string& path) {
    if (where_.Insert(ExclusionKey(path), list_->size())) list_->push_back(path);
    return kWfOk;
  }
  // Every line of the key, as the filter removes them.
  WfStatus Remove(const std::string& path) {
    const std::string key = ExclusionKey(path);
    const std::vector<std::size_t>* lines = where_.Find(key);
    if (lines == nullptr) return kWfFileNotFound;
    removed_.insert(removed_.end(), lines->begin(), lines->end());
    where_.Erase(key);
    return kWfOk;
  }
  void Sweep() {
    std::sort(removed_.begin(), removed_.end());
    std::vector<std::string>& list = *list_;
    std::size_t kept = 0, next_removed = 0;
    for (std::size_t at = 0; at < list.size(); ++at) {
      if (next_removed < removed_.size() && removed_[next_removed] == at) {
        ++next_removed;
      } else if (kept++ != at) {
        list[kept - 1] = std::move(list[at]);
      }
    }
    list.resize(kept);
  }

 private:
  std::vector<std::string>* list_;
  KeyIndex where_;
  std::vector<std::size_t> removed_;
};

bool ChangesAList(const PlannedCall& call) {
  return call.function == WfFunction::FbwfAddExclusion || call.function == WfFunction::FbwfRemoveExclusion;
}

}  // namespace

std::vector<WfStatus> Predict(Session& next, const std::vector<PlannedCall>& calls) {
  VolumeLists kept;
  if (!next.protected_volumes) next.protected_volumes.emplace();
  if (!next.exclusions) next.exclusions.emplace();
  std::vector<WfStatus> statuses;
  std::vector<std::pair<std::string, ListEdits>> editing;  // by volume, while list calls follow one another
  const auto sweep = [&] {
    for (auto& [volume, edits] : editing) edits.Sweep();
    editing.clear();
  };
  const auto edits_of = [&](const std::string& volume) -> ListEdits& {
    for (auto& [edited, edits] : editing) {
      if (edited == volume) return edits;
    }
    // A new volume's entry may move the others' lists: none is being edited then.
    if (!next.exclusions->count(volume)) sweep();
    return editing.emplace_back(volume, ListEdits((*next.exclusions)[volume])).second;
  };
  for (const PlannedCall& call : calls) {
    const std::string volume = call.texts.empty() ? std::string() : call.texts[0];
    if (!ChangesAList(call) || !next.filter.value_or(false) || !Contains(*next.protected_volumes, volume)) {
      sweep();
      statuses.push_back(Apply(next, kept, call));
      continue;
    }
    ListEdits& edits = edits_of(volume);
    const std::string& path = call.texts[1];
    statuses.push_back(call.function == WfFunction::FbwfAddExclusion ? edits.Add(path) : edits.Remove(path));
  }
  sweep();
  return statuses;
}

}  // namespace ctl
