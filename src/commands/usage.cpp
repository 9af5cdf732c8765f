#include "commands/commands.h"

namespace {

// Its own order, not the command table's; scripts match these bytes.
constexpr const char* kUsagePieces[] = {
    "\nVORLEN <Option>\n",
    "-enable\t\t\tEnable FBWF\n",
    "-disable\t\tDisable FBWF\n",
    "-enablecompression         Enable Compression\n",
    "-disablecompression        Disable Compression\n",
    "-enablecache\t\tEnable Cache PreAllocate\n",
    "-disablecache\t\tDisable Cache PreAllocate \n",
    "-protectvolume <volume>\tProtect a new volume\n",
    "-unprotectvolume <volume>\tProtect a new volume\n",
    "-fbwfstate\t\tGets the filter status\n",
    "-fbwfcompression\tGets the compresstion status\n",
    "-fbwfprealloc\t\tGets the Cache PreAllocation status\n",
    "-volumestatus <volume>\tGets the volume status\n",
    "-setcache <cache size>\tcache size must be between 16 and 1024\n",
    "-addex <drive> <file or path>\tadd a file or path to the exclusion list\n",
    "-remex <drive> <file or path>\tremove a file or path to the exclusion list\n",
    "-commit <drive> <file or path>\tcommits a file in cache to the disk\n",
    "-restore <drive> <file or path>\trestores a file in cache from the disk\n",
};

}  // namespace

void PrintUsage(std::FILE* out) {
  for (const char* piece : kUsagePieces) std::fputs(piece, out);
}
