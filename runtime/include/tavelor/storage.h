// Files, directories, system commands and packed media archives.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Names the data archive (pictures, fonts, sprites, sounds, meshes, line files) and the media
// archive (music, video) that load commands search after the disk; removes the temporary
// files both archives had unpacked.
void SETSHOEBOX(DGStr data, DGStr media);

}  // namespace TAVELOR
