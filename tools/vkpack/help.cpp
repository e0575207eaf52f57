// The usage and manifest syntax that `vkpack --help` prints; README.md says
// the same at more length.
#include "tools/vkpack/vkpack.h"

namespace vkpack {

const char* const kManifestHelp = R"(usage:
  vkpack [-z] MANIFEST [-o OUTPUT] [-d DEPFILE]
        build an applet from MANIFEST: "VKA", or packed "VKZ" with -z
        (default OUTPUT: MANIFEST with .vka or .vkz); -d writes a make-style
        dependency file listing every file the manifest read
  vkpack pack SOURCE DEST
        write SOURCE as a "VKPK" pack file (zlib)
  vkpack attach PLAYER APPLET OUTPUT
        copy the player executable PLAYER to OUTPUT with the applet file
        APPLET attached (its marker block points at it)

manifest syntax (one statement per line; ';' or '#' starts a comment; file
names are relative to the manifest; text with spaces goes in double quotes):
  bytecode FILE              the script: a bytecode file, or a .vkasm listing
                             (assembled); required
  version MAJOR MINOR        applet version (default 4 7)
  preload TYPE ID [NAME] [link] [KEY=VALUE ...]
      TYPE: bgpic brush anim music sample button keydown sprite file font
      display. NAME (the file, key or font name) for all but button and
      display. "link" stores the file's contents in the applet.
      every type but display: transparency (default -1) loadalpha line
      bgpic:   fillstyle startcolor endcolor angle texture texturex texturey
      brush:   width height x y alpha (default -1)
      anim:    fromdisk width height frames fpr x y
      sprite:  width height frames fpr x y
      button:  x1 y1 x2 y2
      font:    size engine nocache (instead of transparency, loadalpha)
      display: bgpic x y (default -100000) width height (640 480) color
               flags (default active) mask (default = flags) scalewidth
               scaleheight title ("Vellumark") fillstyle (1) endcolor angle
               texture texturex texturey; dragregion=T,X,Y,W,H and
               sizeregion=T,X,Y,W,H (repeatable, at most 64 each).
               flags and mask: numbers or names joined by '|': borderless
               sizeable fixed nomodeswitch hidepointer nohide autoscale
               smoothscale layerscale bgpic active hidden layers usequartz
               noclose keepproportions fitscale
  display settings and texts (records written in manifest order; display
  settings act on the last display preload, or the default display):
    size W H        title TEXT      color C         position X Y
    desktop         mode window|fullscreen|ownscreen|fakefullscreen|N
    borderless [0|1]   fixed [0|1]   sizeable [0|1]   hidetitlebar [0|1]
    hidepointer [0|1]  nomodeswitch [0|1]  nohide [0|1]
    screen W H      depth N         scale LAYERSCALE W H SMOOTH     reset
    backfill color C | gradient START END | texture BRUSH
           | picture BRUSH X Y START END [SCALE]
    text1 .. text5 TEXT   (at most 255 characters)
  link FILE [NAME]           link FILE into the applet, opened by scripts as
                             NAME (default: FILE as written)
  lines FIRST LAST SRCLINE FILE CHUNK
                             VM lines FIRST..LAST of the functions whose source
                             is CHUNK came from FILE, from line SRCLINE + 1 on
numbers: decimal, 0x hexadecimal, negative allowed.
records: version, preload names and linked data (a skipped record),
preloads, settings, linked files, bytecode last.
)";

}  // namespace vkpack
