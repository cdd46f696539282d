// Everything the FTP layer takes from here is in the shim winsock2.h.
#pragma once
#include "winsock2.h"
