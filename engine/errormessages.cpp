// The error-code table and the message formatter. The table is written as
// runs of consecutive codes whose texts have consecutive catalog ids; the
// formatter never hands a catalog text to printf.
#include "engine/errormessages.h"

#include <array>

#include "base/errorinfo.h"
#include "base/catalog.h"
#include "io/chunknames.h"

namespace {

struct ErrorRun {
  int32_t firstCode;
  int32_t lastCode;
  int32_t firstId;  // -1: these codes have no catalog text
};

// Codes not covered by a run (1249) have no text either.
constexpr ErrorRun kErrorRuns[] = {
    {1000, 1000, 13},
    {1001, 1001, 37},
    {1002, 1002, 49},
    {1003, 1003, 51},
    {1004, 1004, 12},
    {1005, 1005, 53},
    {1006, 1007, 23},
    {1008, 1008, 50},
    {1009, 1009, 52},
    {1010, 1010, 14},
    {1011, 1013, 25},
    {1014, 1014, 15},
    {1015, 1017, 28},
    {1018, 1018, 16},
    {1019, 1020, 20},
    {1021, 1021, 31},
    {1022, 1022, 36},
    {1023, 1025, 17},
    {1026, 1026, 22},
    {1027, 1030, 32},
    {1031, 1031, 56},
    {1032, 1032, 38},
    {1033, 1033, 61},
    {1034, 1034, 63},
    {1035, 1041, 39},
    {1042, 1042, 59},
    {1043, 1043, 46},
    {1044, 1044, 62},
    {1045, 1045, 3},
    {1046, 1046, 6},
    {1047, 1047, 47},
    {1048, 1049, 1},
    {1050, 1050, 9},
    {1051, 1051, 55},
    {1052, 1053, 4},
    {1054, 1054, 48},
    {1055, 1056, 66},
    {1057, 1057, 58},
    {1058, 1058, 60},
    {1059, 1060, 7},
    {1061, 1062, 10},
    {1063, 1063, 54},
    {1064, 1064, -1},
    {1065, 1065, 57},
    {1066, 1067, 64},
    {1068, 1091, 68},
    {1092, 1161, 123},
    {1162, 1182, 196},
    {1183, 1212, 218},
    {1213, 1220, 254},
    {1221, 1235, 263},
    {1236, 1236, 279},
    {1237, 1238, 281},
    {1239, 1239, -1},
    {1240, 1242, 283},
    {1243, 1248, 290},
    {1250, 1264, 310},
    {1265, 1265, -1},
    {1266, 1269, 325},
    {1270, 1275, 330},
    {1276, 1276, 337},
    {1277, 1288, 340},
    {1289, 1302, 354},
    {1303, 1305, 369},
    {1306, 1309, 374},
    {1310, 1314, 381},
    {1315, 1315, 387},
    {1316, 1328, 389},
    {1329, 1331, 403},
    {1332, 1332, 407},
    {1333, 1333, 409},
    {1334, 1367, 411},
    {1368, 1382, 446},
    {1383, 1387, 462},
    {1388, 1427, 469},
};

constexpr size_t kErrorCount = kLastErrorCode - kFirstErrorCode + 1;

constexpr std::array<int32_t, kErrorCount> BuildErrorTable() {
  std::array<int32_t, kErrorCount> table{};
  for (int32_t& id : table) id = -1;
  for (const ErrorRun& run : kErrorRuns)
    for (int32_t code = run.firstCode; code <= run.lastCode; ++code)
      table[code - kFirstErrorCode] = run.firstId < 0 ? -1 : run.firstId + (code - run.firstCode);
  return table;
}

constexpr std::array<int32_t, kErrorCount> kErrorTable = BuildErrorTable();

// The messages that name a file: their "%s" shows only the file part.
constexpr int32_t kFileNameCodes[] = {1044, 1045, 1065, 1170, 1356, 1357, 1358, 1403};

// The linked file's own name inside a chunk name: from after '*' to the next
// '/' (or the end).
std::string ChunkFileName(const std::string& name) {
  const size_t star = name.find('*');
  if (star == std::string::npos) return name;
  const size_t slash = name.find('/', star + 1);
  return name.substr(star + 1, slash == std::string::npos ? std::string::npos : slash - star - 1);
}

}  // namespace

int32_t ErrorCatalogId(int32_t code) {
  if (code < kFirstErrorCode || code > kLastErrorCode) return -1;
  return kErrorTable[code - kFirstErrorCode];
}

std::string ShortName(const std::string& path) {
  if (path.size() < 2) return path;
  if (IsChunkName(path.c_str())) return ChunkFileName(path);
  const size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos) return path.substr(slash + 1);
  const size_t colon = path.find(':');
  if (colon != std::string::npos) return path.substr(colon + 1);
  return path;
}

std::string FormatErrorMessage(int32_t code) {
  if (code == 1064 || code == 1239) return ErrorInfo().errorText;
  const int32_t id = ErrorCatalogId(code);
  const char* format = id < 0 ? nullptr : GetCatalogText(uint32_t(id));
  if (format == nullptr) format = GetCatalogText(kCatalogUnknownError);

  std::string text = ErrorInfo().errorText;
  bool fileName = false;
  for (int32_t c : kFileNameCodes) fileName |= c == code;
  if (fileName)
    text = ShortName(text);
  else if (IsChunkName(text.c_str()))
    text = ChunkFileName(text);
  return FormatCatalogText(format, text.c_str(), ErrorInfo().errorNumber);
}
