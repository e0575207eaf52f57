// The player's executable: everything lives in the vkplayer library; this
// file only hands the command line over.
#include <cstdio>

int main(int argc, char** argv) {
  (void)argc;
  std::printf("Usage: %s applet [options]\n", argv[0]);
  std::printf("The player cannot run applets yet: only its script engine is being built.\n");
  return 0;
}
