// Everything a game needs: the language's values and its whole command set.
#pragma once

#include <tavelor/version.h>
#include <tavelor/dgstr.h>
#include <tavelor/arrays.h>
#include <tavelor/strfuncs.h>
#include <tavelor/maths.h>
#include <tavelor/wintypes.h>
#include <tavelor/frame.h>
#include <tavelor/input.h>
#include <tavelor/audio.h>
#include <tavelor/storage.h>
#include <tavelor/graphics2d.h>
#include <tavelor/scene3d.h>
#include <tavelor/net.h>
#include <tavelor/pathfinding.h>
