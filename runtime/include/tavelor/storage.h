// Files, directories, system commands and packed media archives.
#pragma once

#include <tavelor/dgstr.h>

namespace TAVELOR {

// Names the media archive and the data archive that load commands search after the disk.
void SETSHOEBOX(DGStr media, DGStr data);

}  // namespace TAVELOR
