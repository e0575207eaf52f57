// The vkpack command: builds applets from manifests, writes pack files and
// attaches applets to copies of the player. Errors go to standard error.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tools/vkpack/vkpack.h"

namespace {

std::string WithExtension(const std::string& path, const std::string& ext) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExt ? path.substr(0, dot) : path) + ext;
}

std::string DepEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '#') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

int Usage() {
  std::fputs(vkpack::kManifestHelp, stderr);
  return 2;
}

int Build(int argc, char** argv) {
  std::string manifest, output, depfile;
  bool packed = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-z") packed = true;
    else if (a == "-o" && i + 1 < argc) output = argv[++i];
    else if (a == "-d" && i + 1 < argc) depfile = argv[++i];
    else if (a.size() > 1 && a[0] == '-') return Usage();
    else if (manifest.empty()) manifest = a;
    else return Usage();
  }
  if (manifest.empty()) return Usage();
  if (output.empty()) output = WithExtension(manifest, packed ? ".vkz" : ".vka");
  vkpack::Bytes text = vkpack::ReadFile(manifest);
  size_t slash = manifest.find_last_of('/');
  std::string base = slash == std::string::npos ? "." : manifest.substr(0, slash);
  vkpack::Manifest m = vkpack::ParseManifest(std::string(text.begin(), text.end()), manifest, base);
  vkpack::Bytes applet = vkpack::BuildApplet(m);
  vkpack::WriteFile(output, packed ? vkpack::PackWithMagic("VKZ", applet) : applet);
  if (!depfile.empty()) {
    std::string deps = DepEscape(output) + ":";
    deps += " " + DepEscape(manifest);
    for (const std::string& in : m.inputs) deps += " " + DepEscape(in);
    deps += "\n";
    vkpack::WriteFile(depfile, vkpack::Bytes(deps.begin(), deps.end()));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string first = argc > 1 ? argv[1] : "";
    if (first == "-h" || first == "--help") {
      std::fputs(vkpack::kManifestHelp, stdout);
      return 0;
    }
    if (first == "pack") {
      if (argc != 4) return Usage();
      vkpack::WriteFile(argv[3], vkpack::PackWithMagic("VKPK", vkpack::ReadFile(argv[2])));
      return 0;
    }
    if (first == "attach") {
      if (argc != 5) return Usage();
      vkpack::Bytes player = vkpack::ReadFile(argv[2]);
      vkpack::WriteFile(argv[4], vkpack::AttachApplet(player, vkpack::ReadFile(argv[3])));
      struct stat st;
      if (stat(argv[2], &st) == 0) chmod(argv[4], st.st_mode & 07777);
      return 0;
    }
    return Build(argc, argv);
  } catch (const vkpack::Error& e) {
    std::fprintf(stderr, "vkpack: %s\n", e.what());
    return 1;
  }
}
