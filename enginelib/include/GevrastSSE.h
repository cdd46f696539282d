// GevrastSSE: the game engine's support library. Include this one header to reach every export.
#pragma once

#include "gevrast/api.h"
#include "gevrast/sort.h"
#include "gevrast/dpc.h"
#include "gevrast/pool.h"
#include "gevrast/containers.h"
#include "gevrast/math.h"
#include "gevrast/viewvolume.h"
#include "gevrast/heap.h"
#include "gevrast/hash.h"
#include "gevrast/image.h"
#include "gevrast/text.h"
#include "gevrast/profile.h"
#include "gevrast/physique.h"
#include "gevrast/mesh.h"
#include "gevrast/collision.h"
