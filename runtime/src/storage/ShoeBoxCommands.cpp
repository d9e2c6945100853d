#include <tavelor/storage.h>

#include "frame/Runtime.h"
#include "storage/ZyShoeBox.h"

namespace TAVELOR {

void SETSHOEBOX(DGStr media, DGStr data) {
  if (__g_ShoeBox_Media) {
    __g_ShoeBox_Media->Clear();
    __g_ShoeBox_Media->SetName(media.c_str());
  }
  if (__g_ShoeBox_Data) {
    __g_ShoeBox_Data->Clear();
    __g_ShoeBox_Data->SetName(data.c_str());
  }
}

}  // namespace TAVELOR
