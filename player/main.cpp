// The player's executable: everything lives in the vkplayer library; this
// file only hands the command line over.
#include "player/startup.h"

int main(int argc, char** argv) { return RunPlayer(argc, argv); }
