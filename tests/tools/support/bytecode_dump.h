// A minimal reader of bytecode files for the tool tests: parses the header
// and the function records into plain structs, so that tests can check what
// the assembler wrote without trusting the assembler's own records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct DumpConstant {
  uint8_t type = 0;
  double number = 0;
  std::string text;
};

struct DumpFunction {
  std::optional<std::string> source;  // nullopt when written as 0
  int32_t lineDefined = 0;
  uint8_t numUpvalues = 0, numParams = 0, isVararg = 0, maxStack = 0;
  std::vector<int32_t> lineInfo;
  struct Local {
    std::string name;
    int32_t start, end;
  };
  std::vector<Local> locals;
  std::vector<std::string> upvalueNames;
  std::vector<DumpConstant> constants;
  std::vector<DumpFunction> nested;
  std::vector<uint32_t> code;
};

// Parses a whole bytecode file; throws std::runtime_error on any fault,
// including bytes left over after the main record.
DumpFunction ReadBytecode(const std::vector<uint8_t>& bytes);
