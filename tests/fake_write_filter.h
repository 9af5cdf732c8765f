// A scripted stand-in for the write filter: every call is recorded with its
// arguments, and each returns the result the test chose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "frontend/operands.h"
#include "wfapi/write_filter.h"

struct RecordedCall {
  std::string function;
  std::vector<std::u16string> texts = {};  // volume first, then path
  std::vector<std::uint32_t> numbers = {};

  bool operator==(const RecordedCall&) const = default;
};

class FakeWriteFilter final : public WriteFilter {
 public:
  WfStatus result = 0;
  SessionPair state;             // written through the out-parameters
  std::vector<RecordedCall> calls;
  bool unterminated_text = false;  // a text ran to the end of its buffer

  WfStatus FbwfEnableFilter() override { return Record("FbwfEnableFilter"); }
  WfStatus FbwfDisableFilter() override { return Record("FbwfDisableFilter"); }
  WfStatus FbwfEnableCompression() override { return Record("FbwfEnableCompression"); }
  WfStatus FbwfDisableCompression() override { return Record("FbwfDisableCompression"); }
  WfStatus FbwfEnableCachePreAllocation() override { return Record("FbwfEnableCachePreAllocation"); }
  WfStatus FbwfDisableCachePreAllocation() override {
    return Record("FbwfDisableCachePreAllocation");
  }
  WfStatus FbwfIsFilterEnabled(std::uint32_t* current, std::uint32_t* next) override {
    return Fill("FbwfIsFilterEnabled", current, next);
  }
  WfStatus FbwfIsCompressionEnabled(std::uint32_t* current, std::uint32_t* next) override {
    return Fill("FbwfIsCompressionEnabled", current, next);
  }
  WfStatus FbwfIsCachePreAllocationEnabled(std::uint32_t* current, std::uint32_t* next) override {
    return Fill("FbwfIsCachePreAllocationEnabled", current, next);
  }
  WfStatus FbwfIsVolumeProtected(const WfChar* volume, std::uint32_t* current,
                                 std::uint32_t* next) override {
    Record("FbwfIsVolumeProtected", {Volume(volume)});
    return Fill(nullptr, current, next);
  }
  WfStatus FbwfProtectVolume(const WfChar* volume) override {
    return Record("FbwfProtectVolume", {Volume(volume)});
  }
  WfStatus FbwfUnprotectVolume(const WfChar* volume, std::uint32_t flag) override {
    return Record("FbwfUnprotectVolume", {Volume(volume)}, {flag});
  }
  WfStatus FbwfSetCacheThreshold(std::uint32_t megabytes) override {
    return Record("FbwfSetCacheThreshold", {}, {megabytes});
  }
  WfStatus FbwfAddExclusion(const WfChar* volume, const WfChar* path) override {
    return Record("FbwfAddExclusion", {Volume(volume), Path(path)});
  }
  WfStatus FbwfRemoveExclusion(const WfChar* volume, const WfChar* path) override {
    return Record("FbwfRemoveExclusion", {Volume(volume), Path(path)});
  }
  WfStatus FbwfCommitFile(const WfChar* volume, const WfChar* path) override {
    return Record("FbwfCommitFile", {Volume(volume), Path(path)});
  }
  WfStatus FbwfRestoreFile(const WfChar* volume, const WfChar* path) override {
    return Record("FbwfRestoreFile", {Volume(volume), Path(path)});
  }

 private:
  WfStatus Record(const char* function, std::initializer_list<std::u16string> texts = {},
                  std::initializer_list<std::uint32_t> numbers = {}) {
    calls.push_back({function, texts, numbers});
    return result;
  }

  WfStatus Fill(const char* function, std::uint32_t* current, std::uint32_t* next) {
    if (function != nullptr) Record(function);
    *current = state.current;
    *next = state.next;
    return result;
  }

  std::u16string Volume(const WfChar* text) { return Read(text, sizeof(VolumeText::units) / sizeof(WfChar)); }
  std::u16string Path(const WfChar* text) { return Read(text, sizeof(PathText::units) / sizeof(WfChar)); }

  // Reads no further than the buffer the front end hands over.
  std::u16string Read(const WfChar* text, std::size_t capacity) {
    std::u16string units;
    for (std::size_t i = 0; i < capacity; ++i) {
      if (text[i] == 0) return units;
      units.push_back(static_cast<char16_t>(text[i]));
    }
    unterminated_text = true;
    return units;
  }
};
