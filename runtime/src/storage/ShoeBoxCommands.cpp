// SETSHOEBOX: names the two archives that load commands search after the disk.
#include <tavelor/storage.h>

#include "frame/Runtime.h"
#include "storage/ZyShoeBox.h"

namespace TAVELOR {

void SETSHOEBOX(DGStr data, DGStr media) {
  if (__g_ShoeBox_Data) __g_ShoeBox_Data->Clear();
  if (__g_ShoeBox_Media) __g_ShoeBox_Media->Clear();
  if (__g_ShoeBox_Data) __g_ShoeBox_Data->SetName(data.c_str());
  if (__g_ShoeBox_Media) __g_ShoeBox_Media->SetName(media.c_str());
}

}  // namespace TAVELOR
