// The vkasm command: reads a listing, assembles it and writes the bytecode
// file; errors go to standard error as "file:line: message".
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/vkasm/vkasm.h"

int main(int argc, char** argv) {
  std::string input, output;
  bool little = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(vkasm::kSyntaxHelp, stdout);
      return 0;
    } else if (a == "-l" || a == "--little-endian") {
      little = true;
    } else if (a == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "vkasm: unknown option %s (see --help)\n", a.c_str());
      return 2;
    } else if (input.empty()) {
      input = a;
    } else {
      std::fprintf(stderr, "vkasm: more than one listing given\n");
      return 2;
    }
  }
  if (input.empty()) {
    std::fputs(vkasm::kSyntaxHelp, stderr);
    return 2;
  }
  if (output.empty()) {
    size_t slash = input.find_last_of('/');
    size_t dot = input.find_last_of('.');
    output = (dot != std::string::npos && (slash == std::string::npos || dot > slash) ? input.substr(0, dot) : input) + ".vkb";
  }
  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "vkasm: cannot read %s\n", input.c_str());
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  try {
    std::vector<uint8_t> bytes = vkasm::Assemble(text.str(), input, little);
    if (output == "-") {
      std::cout.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return std::cout ? 0 : 1;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "vkasm: cannot write %s\n", output.c_str());
      std::remove(output.c_str());
      return 1;
    }
  } catch (const vkasm::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
