#include "frontend/command_table.h"

const std::array<CommandRow, 17> CommandTable = {{
    {"-enable", OperandKind::kNone, EnableFilter},
    {"-disable", OperandKind::kNone, DisableFilter},
    {"-fbwfstate", OperandKind::kNone, ShowFilterState},
    {"-enablecompression", OperandKind::kNone, EnableCompression},
    {"-disablecompression", OperandKind::kNone, DisableCompression},
    {"-enablecache", OperandKind::kNone, EnableCachePreAllocation},
    {"-disablecache", OperandKind::kNone, DisableCachePreAllocation},
    {"-protectvolume", OperandKind::kVolume, ProtectVolume},
    {"-unprotectvolume", OperandKind::kVolume, UnprotectVolume},
    {"-fbwfcompression", OperandKind::kNone, ShowCompressionState},
    {"-fbwfprealloc", OperandKind::kNone, ShowPreAllocationState},
    {"-volumestatus", OperandKind::kVolume, ShowVolumeStatus},
    {"-setcache", OperandKind::kCacheSize, SetCacheThreshold},
    {"-addex", OperandKind::kDriveAndPath, AddExclusion},
    {"-remex", OperandKind::kDriveAndPath, RemoveExclusion},
    {"-commit", OperandKind::kDriveAndPath, CommitFile},
    {"-restore", OperandKind::kDriveAndPath, RestoreFile},
}};
